#include "ShortForms.h"

#include "Errors.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

namespace obxctl {

namespace {

using nlohmann::json;

std::string text(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find(separator, start);
        pieces.push_back(text.substr(start, at - start));
        if (at == std::string::npos) {
            return pieces;
        }
        start = at + 1;
    }
}

// In the order the API writes modifier texts.
constexpr std::array<std::pair<const char*, const char*>, 6> modifierNames{{{"alt", "alt"},
                                                                            {"ctrl", "ctrl"},
                                                                            {"control", "ctrl"},
                                                                            {"shift", "shift"},
                                                                            {"win", "win"},
                                                                            {"super", "win"}}};
constexpr std::array<const char*, 4> modifierOrder{"alt", "ctrl", "shift", "win"};

const char* modifierName(const std::string& word) {
    for (const auto& [name, canonical] : modifierNames) {
        if (word == name) {
            return canonical;
        }
    }
    return nullptr;
}

std::string joinModifiers(const std::vector<std::string>& names) {
    std::string text;
    for (const char* name : modifierOrder) {
        if (std::find(names.begin(), names.end(), name) != names.end()) {
            text += (text.empty() ? "" : ",") + std::string(name);
        }
    }
    return text;
}

// Virtual-key codes of the keys that have a name.
constexpr std::array<std::pair<const char*, std::uint32_t>, 27> keyNames{
    {{"backspace", 0x08}, {"tab", 0x09},       {"enter", 0x0D}, {"return", 0x0D}, {"pause", 0x13},
     {"capslock", 0x14},  {"escape", 0x1B},    {"esc", 0x1B},   {"space", 0x20},  {"pageup", 0x21},
     {"pagedown", 0x22},  {"end", 0x23},       {"home", 0x24},  {"left", 0x25},   {"up", 0x26},
     {"right", 0x27},     {"down", 0x28},      {"print", 0x2C}, {"insert", 0x2D}, {"delete", 0x2E},
     {"menu", 0x5D},      {"plus", 0xBB},      {"comma", 0xBC}, {"minus", 0xBD},  {"period", 0xBE},
     {"volumeup", 0xAF},  {"volumedown", 0xAE}}};

std::uint32_t keyCode(const std::string& word) {
    if (word.size() == 1 && ((word[0] >= 'a' && word[0] <= 'z') || (word[0] >= '0' && word[0] <= '9'))) {
        return static_cast<std::uint32_t>(word[0] >= 'a' ? word[0] - 'a' + 'A' : word[0]);
    }
    if (word.size() >= 2 && word[0] == 'f') {
        const int number = parseNumber(word.substr(1), 1, 24);
        return static_cast<std::uint32_t>(0x70 + number - 1);
    }
    for (const auto& [name, code] : keyNames) {
        if (word == name) {
            return code;
        }
    }
    throw UsageError("unknown key '" + word + "'");
}

// "ctrl+left": the modifiers and the last piece.
std::pair<std::string, std::string> withModifiers(const std::string& word) {
    auto pieces = split(lower(word), '+');
    const std::string last = pieces.back();
    pieces.pop_back();
    for (const auto& piece : pieces) {
        if (!modifierName(piece)) {
            throw UsageError("unknown modifier '" + piece + "' in '" + word + "'");
        }
    }
    std::vector<std::string> names;
    std::transform(pieces.begin(), pieces.end(), std::back_inserter(names),
                   [](const std::string& piece) { return std::string(modifierName(piece)); });
    return {joinModifiers(names), last};
}

int mouseButton(const std::string& word) {
    static constexpr std::array<const char*, 5> names{"left", "right", "middle", "back", "forward"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (word == names[i]) {
            return static_cast<int>(i) + 1;
        }
    }
    throw UsageError("unknown mouse button '" + word + "' (left, right, middle, back, forward)");
}

void expectWords(const std::vector<std::string>& words, std::size_t least, std::size_t most) {
    if (words.size() < least || words.size() > most) {
        throw UsageError(
            "'" + words[0] + "' takes " +
            (least == most ? std::to_string(least - 1) + " argument(s)"
                           : std::to_string(least - 1) + " to " + std::to_string(most - 1) + " arguments"));
    }
}

json click(const char* command, const std::vector<std::string>& words, int clicks) {
    expectWords(words, 2, 2);
    const auto [modifiers, button] = withModifiers(words[1]);
    json action{{"command", command}, {"button", mouseButton(button)}};
    if (clicks > 1) {
        action["clicks"] = clicks;
    }
    if (!modifiers.empty()) {
        action["modifiers"] = modifiers;
    }
    return action;
}

// A key step: "ctrl+c", or modifiers alone ("shift", "ctrl+alt") to hold them.
json keyStep(const char* type, const std::string& word) {
    json step{{"type", type}};
    const auto pieces = split(lower(word), '+');
    if (std::all_of(pieces.begin(), pieces.end(),
                    [](const std::string& piece) { return modifierName(piece); })) {
        std::vector<std::string> names;
        std::transform(pieces.begin(), pieces.end(), std::back_inserter(names),
                       [](const std::string& piece) { return std::string(modifierName(piece)); });
        step["modifiers"] = joinModifiers(names);
        return step;
    }
    const auto [modifiers, key] = withModifiers(word);
    step["keyCode"] = keyCode(key);
    if (!modifiers.empty()) {
        step["modifiers"] = modifiers;
    }
    return step;
}

json buttonStep(const char* type, const std::string& word) {
    const auto [modifiers, button] = withModifiers(word);
    json step{{"type", type}, {"button", mouseButton(button)}};
    if (!modifiers.empty()) {
        step["modifiers"] = modifiers;
    }
    return step;
}

// "sequence STEP ARGUMENT ...": every step takes one argument.
json sequence(const std::vector<std::string>& words) {
    if (words.size() < 3 || words.size() % 2 == 0) {
        throw UsageError(
            "'sequence' takes steps, each a word and its argument: key ctrl+c pause 200 text hi");
    }
    json steps = json::array();
    for (std::size_t i = 1; i < words.size(); i += 2) {
        const std::string type = lower(words[i]);
        const std::string& argument = words[i + 1];
        if (type == "key") {
            steps.push_back(keyStep("keystroke", argument));
        } else if (type == "down") {
            steps.push_back(keyStep("keyDown", argument));
        } else if (type == "up") {
            steps.push_back(keyStep("keyUp", argument));
        } else if (type == "text") {
            steps.push_back({{"type", "text"}, {"text", argument}});
        } else if (type == "click") {
            steps.push_back(buttonStep("click", argument));
        } else if (type == "press") {
            steps.push_back(buttonStep("buttonDown", argument));
        } else if (type == "release") {
            steps.push_back(buttonStep("buttonUp", argument));
        } else if (type == "pause") {
            steps.push_back({{"type", "pause"}, {"ms", parseNumber(argument, 1, 5000)}});
        } else {
            throw UsageError("unknown sequence step '" + words[i] +
                             "' (key, down, up, text, click, press, release, pause)");
        }
    }
    return {{"command", "sequence"}, {"steps", std::move(steps)}};
}

// The slots of a gesture: its words on the command line and its fields.
constexpr std::array<std::pair<const char*, const char*>, 9> gestureSlots{{{"up", "up"},
                                                                           {"down", "down"},
                                                                           {"left", "left"},
                                                                           {"right", "right"},
                                                                           {"wheel-up", "wheelUp"},
                                                                           {"wheel-down", "wheelDown"},
                                                                           {"pan-left", "panLeft"},
                                                                           {"pan-right", "panRight"},
                                                                           {"tap", "tap"}}};

bool isDigits(const std::string& word) {
    return !word.empty() &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// How many words the action starting at words[at] takes, its own included:
// each short form has a fixed count but scroll, whose lines are a number.
std::size_t actionLength(const std::vector<std::string>& words, std::size_t at) {
    const std::string kind = lower(words[at]);
    if (kind == "sequence" || kind == "gesture" || kind == "use-global") {
        throw UsageError("a gesture's action cannot be '" + words[at] +
                         "' (a sequence may be given as a JSON object)");
    }
    if (kind.starts_with("{") || kind == "snippet-menu" || kind == "scroll-mode" || kind == "auto-scroll" ||
        kind == "none") {
        return 1;
    }
    if (kind == "scroll" && at + 2 < words.size() && isDigits(words[at + 2])) {
        return 3;
    }
    return 2;
}

// "gesture [once|repeat] [THRESHOLD] SLOT ACTION ...": each slot a word and an action in its short form.
json gesture(const std::vector<std::string>& words) {
    json action{{"command", "gesture"}};
    std::size_t at = 1;
    if (at < words.size() && (lower(words[at]) == "once" || lower(words[at]) == "repeat")) {
        action["mode"] = lower(words[at++]);
    }
    if (at < words.size() && isDigits(words[at])) {
        action["threshold"] = parseNumber(words[at++], 10, 2000);
    }
    if (at == words.size()) {
        throw UsageError(
            "'gesture' takes slots, each a word and an action: up key ctrl+pageup tap click left "
            "(up, down, left, right, wheel-up, wheel-down, pan-left, pan-right, tap)");
    }
    while (at < words.size()) {
        const auto slot = std::find_if(gestureSlots.begin(), gestureSlots.end(),
                                       [&](const auto& entry) { return lower(words[at]) == entry.first; });
        if (slot == gestureSlots.end()) {
            throw UsageError("unknown gesture slot '" + words[at] +
                             "' (up, down, left, right, wheel-up, wheel-down, pan-left, pan-right, tap)");
        }
        if (action.contains(slot->second) || ++at == words.size()) {
            throw UsageError("gesture slot '" + std::string(slot->first) + "' needs one action");
        }
        const auto length = std::min(actionLength(words, at), words.size() - at);
        action[slot->second] = parseAction({words.begin() + static_cast<std::ptrdiff_t>(at),
                                            words.begin() + static_cast<std::ptrdiff_t>(at + length)});
        at += length;
    }
    return action;
}

json scrollMode(const std::vector<std::string>& words, const char* direction) {
    expectWords(words, 1, 1);
    return {{"command", "scroll"}, {"direction", direction}};
}

} // namespace

int parseNumber(const std::string& word, int lowest, int highest) {
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || value < lowest || value > highest) {
        throw UsageError("'" + word + "' is no number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest));
    }
    return value;
}

std::uint32_t parseButton(const std::string& word) {
    const std::string text = lower(word);
    if (text == "pan-left") {
        return 0x40000000u;
    }
    if (text == "pan-right") {
        return 0x80000000u;
    }
    if (text.rfind("0x", 0) == 0) {
        std::uint32_t mask = 0;
        const auto [end, error] = std::from_chars(text.data() + 2, text.data() + text.size(), mask, 16);
        if (error != std::errc() || end != text.data() + text.size() || text.size() == 2) {
            throw UsageError("'" + word + "' is no button mask");
        }
        return mask;
    }
    std::uint32_t mask = 0;
    for (const auto& piece : split(text, '+')) {
        mask |= 1u << (parseNumber(piece, 1, 30) - 1);
    }
    return mask;
}

std::string parseModifiers(const std::string& word) {
    const std::string text = lower(word);
    if (text == "none" || text.empty()) {
        return "";
    }
    std::vector<std::string> names;
    for (auto piece : split(text, text.find(',') != std::string::npos ? ',' : '+')) {
        const char* name = modifierName(piece);
        if (!name) {
            throw UsageError("unknown modifier '" + piece + "' (alt, ctrl, shift, win)");
        }
        names.emplace_back(name);
    }
    return joinModifiers(names);
}

bool parseSwitch(const std::string& word) {
    const std::string text = lower(word);
    if (text == "on" || text == "true" || text == "yes" || text == "1") {
        return true;
    }
    if (text == "off" || text == "false" || text == "no" || text == "0") {
        return false;
    }
    throw UsageError("'" + word + "' is neither on nor off");
}

json parseAction(const std::vector<std::string>& words) {
    if (words.empty()) {
        throw UsageError("an action is missing");
    }
    if (!words[0].empty() && words[0][0] == '{') {
        expectWords(words, 1, 1);
        json action = json::parse(words[0], nullptr, false);
        if (action.is_discarded() || !action.is_object()) {
            throw UsageError("the action is no JSON object: " + words[0]);
        }
        return action;
    }
    const std::string kind = lower(words[0]);
    if (kind == "key") {
        expectWords(words, 2, 2);
        const auto [modifiers, key] = withModifiers(words[1]);
        json action{{"command", "keystroke"}, {"keyCode", keyCode(key)}};
        if (!modifiers.empty()) {
            action["modifiers"] = modifiers;
        }
        return action;
    }
    if (kind == "click") {
        return click("singleClick", words, 1);
    }
    if (kind == "double-click") {
        return click("multiClick", words, 2);
    }
    if (kind == "triple-click") {
        return click("multiClick", words, 3);
    }
    if (kind == "drag") {
        return click("drag", words, 1);
    }
    if (kind == "text") {
        expectWords(words, 2, 2);
        return {{"command", "snippet"}, {"content", words[1]}};
    }
    if (kind == "snippet-menu") {
        expectWords(words, 1, 1);
        return {{"command", "snippetMenu"}};
    }
    if (kind == "open") {
        expectWords(words, 2, 2);
        return {{"command", "open"}, {"path", words[1]}};
    }
    if (kind == "scroll") {
        expectWords(words, 2, 3);
        const std::string direction = lower(words[1]);
        if (direction != "up" && direction != "down" && direction != "left" && direction != "right") {
            throw UsageError("unknown scroll direction '" + words[1] + "' (up, down, left, right)");
        }
        return {{"command", "scroll"},
                {"direction", direction},
                {"lines", words.size() == 3 ? parseNumber(words[2], 1, 100) : 1}};
    }
    if (kind == "scroll-mode") {
        return scrollMode(words, "trackball");
    }
    if (kind == "auto-scroll") {
        return scrollMode(words, "trackauto");
    }
    if (kind == "system") {
        expectWords(words, 2, 2);
        return {{"command", "system"}, {"action", words[1]}};
    }
    if (kind == "sequence") {
        return sequence(words);
    }
    if (kind == "gesture") {
        return gesture(words);
    }
    if (kind == "use-global") {
        expectWords(words, 1, 1);
        return {{"command", "useGlobal"}};
    }
    if (kind == "none") {
        expectWords(words, 1, 1);
        return {{"command", "none"}};
    }
    throw UsageError("unknown action '" + words[0] + "'");
}

namespace {

// "ctrl+" before a name: the API's modifier text in the short forms' words.
std::string withModifierWords(const json& action, const std::string& name) {
    std::string words;
    for (const auto& piece : split(action.value("modifiers", ""), ',')) {
        if (!piece.empty()) {
            words += piece + "+";
        }
    }
    return words + name;
}

std::optional<std::string> keyWord(std::uint32_t code) {
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) {
        return std::string(1, static_cast<char>(code >= 'A' ? code - 'A' + 'a' : code));
    }
    if (code >= 0x70 && code < 0x70 + 24) {
        return "f" + std::to_string(code - 0x70 + 1);
    }
    for (const auto& [name, known] : keyNames) {
        if (known == code) {
            return name;
        }
    }
    return std::nullopt;
}

// The short form of an action as it is written on the command line, when it
// has one that writes the same JSON; else its JSON.
std::string shortFormOf(const json& action) {
    static constexpr std::array<const char*, 5> buttons{"left", "right", "middle", "back", "forward"};
    const std::string command = action.value("command", "");
    const auto button = [&]() -> std::optional<std::string> {
        const int number = action.value("button", 0);
        if (number < 1 || number > 5) {
            return std::nullopt;
        }
        return withModifierWords(action, buttons[static_cast<std::size_t>(number - 1)]);
    };
    // A field that the short form does not write would be lost.
    const auto onlyFields = [&](std::initializer_list<std::string_view> fields) {
        return std::all_of(action.items().begin(), action.items().end(), [&](const auto& item) {
            return item.key() == "command" ||
                   std::find(fields.begin(), fields.end(), item.key()) != fields.end();
        });
    };
    std::optional<std::string> form;
    if (command == "keystroke" && onlyFields({"keyCode", "modifiers"}) && action.contains("keyCode") &&
        action["keyCode"].is_number_unsigned()) {
        if (const auto key = keyWord(action["keyCode"].get<std::uint32_t>())) {
            form = "key " + withModifierWords(action, *key);
        }
    } else if ((command == "singleClick" || command == "drag") && onlyFields({"button", "modifiers"})) {
        if (const auto which = button()) {
            form = std::string(command == "drag" ? "drag " : "click ") + *which;
        }
    } else if (command == "scroll" && onlyFields({"direction", "lines"}) &&
               std::set<std::string>{"up", "down", "left", "right"}.contains(action.value("direction", ""))) {
        form = "scroll " + action.value("direction", "") + " " + std::to_string(action.value("lines", 1));
    } else if (command == "none" && onlyFields({})) {
        form = "none";
    }
    return form.value_or(action.dump());
}

} // namespace

std::string describeAction(const json& action) {
    if (!action.is_object() || action.value("command", "") != "gesture") {
        return action.dump();
    }
    std::string words = "gesture";
    if (action.contains("mode")) {
        words += " " + text(action["mode"]);
    }
    if (action.contains("threshold")) {
        words += " " + text(action["threshold"]);
    }
    for (const auto& [word, field] : gestureSlots) {
        if (action.contains(field)) {
            std::string form;
            try {
                form = shortFormOf(action[field]);
            } catch (const json::exception&) {
                // A field of another type than the API writes, in settings edited by hand.
                form = action[field].dump();
            }
            words += " " + std::string(word) + " " + form;
        }
    }
    return words;
}

const char* actionFormsHelp() {
    return "Actions: a JSON object, or one of\n"
           "  key [MODIFIER+]...KEY      key ctrl+c, key alt+f4, key enter\n"
           "  click [MODIFIER+]BUTTON    click right, click ctrl+left (left right middle back forward)\n"
           "  double-click BUTTON, triple-click BUTTON, drag BUTTON\n"
           "  text TEXT                  types TEXT\n"
           "  snippet-menu               the menu of the profile's snippets\n"
           "  open PATH                  a file, folder, program or web address\n"
           "  scroll up|down|left|right [LINES]\n"
           "  scroll-mode, auto-scroll   the ball scrolls while the button is held / until clicked\n"
           "  system ACTION              maximizeWindow, minimizeWindow, closeWindow, minimizeAll, ...\n"
           "  sequence STEP ARG ...      steps in order, each with one argument:\n"
           "                             key ctrl+c, down shift, up shift, text TEXT, click left,\n"
           "                             press left, release left, pause MS (1 to 5000)\n"
           "  gesture [once|repeat] [THRESHOLD] SLOT ACTION ...\n"
           "                             while held: the ball's travel, wheel or pan chooses; SLOT:\n"
           "                             up, down, left, right, wheel-up, wheel-down, pan-left,\n"
           "                             pan-right, tap; ACTION a form above but sequence and\n"
           "                             use-global (a JSON object for a sequence); THRESHOLD 10 to 2000\n"
           "  use-global, none\n";
}

} // namespace obxctl
