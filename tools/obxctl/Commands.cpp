#include "Commands.h"

#include "Browser.h"
#include "DaemonClient.h"
#include "Errors.h"
#include "ShortForms.h"
#include "Table.h"
#include "driver/linux/wire/PointingDeviceList.h"

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

namespace obxctl {

namespace {

using nlohmann::json;

std::string text(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string buttonsOf(std::uint32_t mask) {
    if (mask == 0x40000000u) {
        return "pan-left";
    }
    if (mask == 0x80000000u) {
        return "pan-right";
    }
    std::string result;
    for (int bit = 0; bit < 32; ++bit) {
        if (mask & (1u << bit)) {
            result += (result.empty() ? "" : "+") + (bit == 30   ? std::string("pan-left")
                                                     : bit == 31 ? std::string("pan-right")
                                                                 : std::to_string(bit + 1));
        }
    }
    return result.empty() ? "0" : result;
}

json otherDevices(const std::string& list) {
    json devices = json::array();
    for (const auto& device : obx::wire::readPointingDeviceList(list, [](std::string_view line) {
             throw DaemonFailure("unexpected list from obxkernd: " + std::string(line));
         })) {
        devices.push_back({{"id", device.id},
                           {"bus", device.bus},
                           {"buttons", device.buttons},
                           {"wheel", device.wheel},
                           {"pan", device.pan},
                           {"unservable", device.unservable},
                           {"serial", device.serial},
                           {"name", device.name}});
    }
    return devices;
}

std::string hexMask(std::uint32_t mask) {
    std::ostringstream out;
    out << "0x" << std::hex << mask;
    return out.str();
}

class Session {
public:
    Session(const Invocation& invocation, std::ostream& out)
        : invocation_(invocation), out_(out), client_(invocation.port) {}

    void run() {
        const auto& words = invocation_.words;
        if (words.empty()) {
            throw UsageError("a subcommand is missing");
        }
        const std::map<std::string, std::function<void()>> commands{
            {"devices", [&] { devices(); }},   {"apps", [&] { apps(); }},
            {"app", [&] { app(); }},           {"button", [&] { button(); }},
            {"pointer", [&] { pointer(); }},   {"scroll", [&] { scroll(); }},
            {"snippets", [&] { snippets(); }}, {"favapps", [&] { favapps(); }},
            {"general", [&] { general(); }},   {"config", [&] { config(); }},
            {"open", [&] { open(); }}};
        const auto found = commands.find(words[0]);
        if (found == commands.end()) {
            throw UsageError("unknown subcommand '" + words[0] + "'");
        }
        found->second();
    }

private:
    // words after the subcommand and its verb.
    std::vector<std::string> arguments(std::size_t from) const {
        const auto& words = invocation_.words;
        return {words.begin() + static_cast<std::ptrdiff_t>(std::min(from, words.size())), words.end()};
    }

    void expectCount(std::size_t least, std::size_t most) const {
        const std::size_t count = invocation_.words.size();
        if (count < least || count > most) {
            throw UsageError("wrong number of arguments for '" + invocation_.words[0] + "'");
        }
    }

    // "get" or "set", the verb of a settings subcommand.
    const std::string& verb(std::initializer_list<const char*> verbs) const {
        if (invocation_.words.size() < 2) {
            throw UsageError("'" + invocation_.words[0] + "' needs one of its verbs");
        }
        const std::string& word = invocation_.words[1];
        for (const char* known : verbs) {
            if (word == known) {
                return word;
            }
        }
        throw UsageError("unknown verb '" + word + "' of '" + invocation_.words[0] + "'");
    }

    std::uint16_t device() {
        if (invocation_.device) {
            return *invocation_.device;
        }
        std::vector<std::uint16_t> present;
        const json devices = client_.get("/devices");
        for (const auto& entry : devices.at("devices")) {
            if (entry.value("present", false)) {
                present.push_back(entry.at("id").get<std::uint16_t>());
            }
        }
        if (present.size() != 1) {
            throw UsageError(present.empty() ? "no trackball is present: name one with --device"
                                             : "several trackballs are present: choose one with --device");
        }
        return present.front();
    }

    HelperClient::Query deviceQuery() { return {{"device", std::to_string(device())}}; }

    HelperClient::Query profileQuery() {
        auto query = deviceQuery();
        query["app"] = invocation_.app.value_or("*");
        return query;
    }

    // Prints the document as is for scripts, else as the table printer makes it.
    void show(const json& document, const std::function<void(const json&)>& table) {
        if (invocation_.json) {
            out_ << document.dump() << '\n';
        } else {
            table(document);
        }
    }

    void showSettings(const json& document) {
        show(document, [&](const json& settings) {
            Table table({"SETTING", "VALUE"});
            for (const auto& [key, value] : settings.items()) {
                table.add({key, text(value)});
            }
            table.print(out_);
        });
    }

    // KEY=VALUE words into a body, each value read by the key's reader.
    json settingsBody(const std::map<std::string, std::function<json(const std::string&)>>& readers) const {
        const auto words = arguments(2);
        if (words.empty()) {
            throw UsageError("'" + invocation_.words[0] + " set' needs at least one KEY=VALUE");
        }
        json body = json::object();
        for (const auto& word : words) {
            const auto equals = word.find('=');
            const auto reader = readers.find(word.substr(0, equals));
            if (equals == std::string::npos || reader == readers.end()) {
                std::string keys;
                for (const auto& [key, unused] : readers) {
                    keys += (keys.empty() ? "" : ", ") + key;
                }
                throw UsageError("'" + word + "' is no KEY=VALUE with KEY one of " + keys);
            }
            body[reader->first] = reader->second(word.substr(equals + 1));
        }
        return body;
    }

    static json number(const std::string& word) { return parseNumber(word, -1000000, 1000000); }
    static json onOff(const std::string& word) { return parseSwitch(word); }
    static json modifiers(const std::string& word) { return parseModifiers(word); }

    void devices() {
        if (invocation_.words.size() > 1) {
            choose();
            return;
        }
        json document = client_.get("/devices");
        if (invocation_.all) {
            document["otherPointingDevices"] = otherDevices(DaemonClient().list());
        }
        show(document, [&](const json& answer) {
            Table table({"ID", "PRESENT", "NAME", "INTERFACE", "REAL ID", "VERSION"});
            for (const auto& entry : answer.at("devices")) {
                table.add({text(entry.value("id", json())), entry.value("present", false) ? "yes" : "no",
                           entry.value("name", ""), entry.value("interface", ""), entry.value("realId", ""),
                           text(entry.value("version", json()))});
            }
            table.print(out_);
            if (!answer.contains("otherPointingDevices")) {
                return;
            }
            out_ << "\nOther pointing devices:\n";
            Table others({"VENDOR:PRODUCT", "SERIAL", "NAME", "BUTTONS", "WHEEL", "PAN", "SERVABLE"});
            for (const auto& entry : answer.at("otherPointingDevices")) {
                const std::string why = entry.value("unservable", "");
                others.add({entry.value("id", ""), entry.value("serial", ""), entry.value("name", ""),
                            text(entry.value("buttons", 0)), entry.value("wheel", false) ? "yes" : "no",
                            entry.value("pan", false) ? "yes" : "no", why.empty() ? "yes" : "no: " + why});
            }
            others.print(out_);
        });
    }

    // devices take|release VENDOR:PRODUCT [SERIAL]: obxkernd serves that device (every one of these ids
    // without a serial) from now on, or no longer.
    void choose() {
        expectCount(3, 4);
        const std::string& action = verb({"take", "release"});
        static const std::regex ids("([0-9a-fA-F]{1,4}):([0-9a-fA-F]{1,4})");
        std::smatch parts;
        if (!std::regex_match(invocation_.words[2], parts, ids)) {
            throw UsageError("'" + invocation_.words[2] +
                             "' is no VENDOR:PRODUCT in hexadecimal (1234:00ab)");
        }
        char normal[16];
        std::snprintf(normal, sizeof normal, "%04lx:%04lx", std::stoul(parts[1], nullptr, 16),
                      std::stoul(parts[2], nullptr, 16));
        const std::string device =
            std::string(normal) + (invocation_.words.size() == 4 ? " " + invocation_.words[3] : "");
        DaemonClient().request(action + " " + device);
        out_ << (action == "take" ? "obxkernd serves " : "obxkernd no longer serves ") << device << "\n";
    }

    void showApps(const json& document) {
        show(document, [&](const json& list) {
            Table table({"IDENTIFIER", "NAME"});
            for (const auto& entry : list.at("apps")) {
                for (const auto& [identifier, name] : entry.items()) {
                    table.add({identifier == "*" ? "* (global)" : identifier, text(name)});
                }
            }
            table.print(out_);
        });
    }

    void apps() {
        expectCount(1, 1);
        showApps(client_.get("/config/apps", deviceQuery()));
    }

    void app() {
        if (verb({"add", "remove"}) == "add") {
            expectCount(4, 4);
            const auto& words = invocation_.words;
            showApps(
                client_.post("/config/apps", deviceQuery(), {{"identifier", words[2]}, {"name", words[3]}}));
        } else {
            expectCount(3, 3);
            showApps(client_.remove("/config/apps", deviceQuery(), {{"identifier", invocation_.words[2]}}));
        }
    }

    void showButtons(std::uint32_t mask, const json& document) {
        show(document, [&](const json& actions) {
            Table table({"BUTTONS", "MASK", "ACTION"});
            if (mask != 0) {
                table.add({buttonsOf(mask), hexMask(mask),
                           actions.is_null() ? "(no action)" : describeAction(actions)});
            } else {
                // By mask, not by the text of the keys.
                std::map<std::uint32_t, std::string> rows;
                for (const auto& [key, action] : actions.items()) {
                    rows[static_cast<std::uint32_t>(std::stoul(key))] = describeAction(action);
                }
                for (const auto& [value, action] : rows) {
                    table.add({buttonsOf(value), hexMask(value), action});
                }
            }
            table.print(out_);
        });
    }

    void button() {
        // The words are checked before the helper is asked anything.
        if (verb({"get", "set"}) == "get") {
            expectCount(2, 3);
            const std::uint32_t mask = invocation_.words.size() == 3 ? parseButton(invocation_.words[2]) : 0;
            auto query = profileQuery();
            query["button"] = std::to_string(mask);
            showButtons(mask, client_.get("/config/buttons", query));
        } else {
            if (invocation_.words.size() < 4) {
                throw UsageError("'button set' needs a button and an action");
            }
            const std::uint32_t mask = parseButton(invocation_.words[2]);
            if (mask == 0) {
                throw UsageError("button mask 0 names no button");
            }
            const json action = parseAction(arguments(3));
            auto query = profileQuery();
            query["button"] = std::to_string(mask);
            showButtons(mask, client_.post("/config/buttons", query, action));
        }
    }

    void pointer() {
        if (verb({"get", "set"}) == "get") {
            expectCount(2, 2);
            showSettings(client_.get("/config/pointer", profileQuery()));
        } else {
            const json body = settingsBody({{"speed", number},
                                            {"acceleration", onOff},
                                            {"accelerationRate", number},
                                            {"slowModifiers", modifiers},
                                            {"lockedAxisModifiers", modifiers}});
            showSettings(client_.post("/config/pointer", profileQuery(), body));
        }
    }

    void scroll() {
        if (verb({"get", "set"}) == "get") {
            expectCount(2, 2);
            showSettings(client_.get("/config/scroll", profileQuery()));
        } else {
            const json body = settingsBody({{"speed", number}, {"invert", onOff}, {"inertial", onOff}});
            showSettings(client_.post("/config/scroll", profileQuery(), body));
        }
    }

    void general() {
        if (verb({"get", "set"}) == "get") {
            expectCount(2, 2);
            showSettings(client_.get("/config/general"));
        } else {
            showSettings(client_.post("/config/general", {}, settingsBody({{"trayIcon", onOff}})));
        }
    }

    void snippets() {
        expectCount(1, 1);
        show(client_.get("/config/snippets", profileQuery()), [&](const json& list) {
            Table table({"SLOT", "LABEL", "CONTENT"});
            int slot = 0;
            for (const auto& snippet : list) {
                table.add({std::to_string(slot++), snippet.value("label", ""), snippet.value("content", "")});
            }
            table.print(out_);
        });
    }

    void favapps() {
        expectCount(1, 1);
        auto query = deviceQuery();
        if (invocation_.count) {
            query["count"] = std::to_string(*invocation_.count);
        }
        show(client_.get("/favapps", query), [&](const json& document) {
            const json& list =
                document.is_object() && document.contains("apps") ? document["apps"] : document;
            Table table({"APPLICATION"});
            for (const auto& entry : list) {
                table.add({text(entry)});
            }
            table.print(out_);
        });
    }

    void config() {
        if (verb({"export", "import"}) == "export") {
            expectCount(2, 3);
            const std::string document = client_.get("/config").dump(2) + "\n";
            if (invocation_.words.size() == 3) {
                std::ofstream file(invocation_.words[2], std::ios::binary | std::ios::trunc);
                if (!(file << document) || !file.flush()) {
                    throw UsageError("cannot write '" + invocation_.words[2] + "'");
                }
            } else {
                out_ << document;
            }
        } else {
            expectCount(3, 3);
            std::ifstream file(invocation_.words[2], std::ios::binary);
            if (!file) {
                throw UsageError("cannot read '" + invocation_.words[2] + "'");
            }
            json settings = json::parse(file, nullptr, false);
            if (settings.is_discarded()) {
                throw UsageError("'" + invocation_.words[2] + "' holds no JSON document");
            }
            show(client_.post("/config", {}, settings), [&](const json&) { out_ << "Settings imported.\n"; });
        }
    }

    void open() {
        expectCount(1, 1);
        // Only a running helper serves the page, and the page needs a code of
        // the helper's to be more than a note on how to open it.
        const auto code = client_.post("/page/code", {}, json::object()).at("code").get<std::string>();
        const auto page = "http://127.0.0.1:" + std::to_string(invocation_.port) + "/ui/";
        openInBrowser(page + "?code=" + code);
        // The code is for the browser; the terminal shows the plain address.
        out_ << "Opened " << page << "\n";
    }

    const Invocation& invocation_;
    std::ostream& out_;
    HelperClient client_;
};

} // namespace

void runCommand(const Invocation& invocation, std::ostream& out) {
    Session(invocation, out).run();
}

const char* commandsHelp() {
    return "Subcommands:\n"
           "  devices [--all]                 the trackballs the settings know, and which are present;\n"
           "                                  --all: also the other pointing devices obxkernd sees\n"
           "  devices take VENDOR:PRODUCT [SERIAL]\n"
           "                                  obxkernd serves that device from now on (1234:00ab);\n"
           "                                  without SERIAL every device of these ids\n"
           "  devices release VENDOR:PRODUCT [SERIAL]\n"
           "                                  obxkernd lets it go: the system's own input again\n"
           "  apps                            the application profiles of the trackball\n"
           "  app add PATH NAME               a profile for the program at PATH\n"
           "  app remove PATH                 removes that profile\n"
           "  button get [BUTTON]             a button's action; every button's without BUTTON\n"
           "  button set BUTTON ACTION...     BUTTON: a number (3), a mask (0x4), a chord (1+2),\n"
           "                                  pan-left or pan-right\n"
           "  pointer get | set KEY=VALUE...  speed, acceleration, accelerationRate, slowModifiers,\n"
           "                                  lockedAxisModifiers\n"
           "  scroll get | set KEY=VALUE...   speed, invert, inertial\n"
           "  snippets                        the profile's ten snippet slots\n"
           "  favapps                         programs offered for new profiles (--count)\n"
           "  general get | set trayIcon=on|off\n"
           "  config export [FILE]            the entire settings as JSON\n"
           "  config import FILE              replaces the entire settings\n"
           "  open                            the configuration page in the default browser\n";
}

} // namespace obxctl
