#include "HelperProcess.h"
#include "RunningHelper.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace obx::test {
namespace {

using nlohmann::json;

struct CtlRun {
    std::optional<int> exit;
    std::string output;
};

// obxctl run against the helper of a setting, or against nothing.
class Obxctl {
public:
    explicit Obxctl(const HelperSetting& setting) : setting_(setting) {}

    CtlRun operator()(std::vector<std::string> args, std::vector<std::string> environment = {}) {
        args.insert(args.begin(), OBXCTL_PATH);
        if (environment.empty()) {
            environment.push_back("OBX_HTTP_PORT=" + std::to_string(setting_.port()));
        }
        const auto output = setting_.folder() / ("obxctl-" + std::to_string(++runs_));
        SpawnedProcess process(args, environment, output);
        CtlRun run;
        run.exit = process.waitExit(kWait);
        run.output = readFile(output);
        return run;
    }

    // The --json answer of a run that must succeed.
    json document(std::vector<std::string> args) {
        args.insert(args.begin(), "--json");
        const auto run = (*this)(args);
        EXPECT_EQ(run.exit, 0) << run.output;
        return json::parse(run.output, nullptr, false);
    }

    // The entire settings as stored, without the time of the last save.
    json exported() {
        const auto run = (*this)({"config", "export"});
        EXPECT_EQ(run.exit, 0) << run.output;
        json settings = json::parse(run.output, nullptr, false);
        if (settings.is_object()) {
            settings.erase("timestamp");
        }
        return settings;
    }

private:
    const HelperSetting& setting_;
    int runs_ = 0;
};

// The helper with one virtual trackball present.
class ObxctlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(trackball.ready());
        ASSERT_TRUE(helper.started());
        ASSERT_TRUE(waitUntil([&] {
            const auto run = ctl({"--json", "devices"});
            return run.output.find("\"present\":true") != std::string::npos;
        })) << setting.log();
    }

    HelperSetting setting;
    VirtualTrackball trackball{setting};
    RunningHelper helper{setting};
    Obxctl ctl{setting};
};

TEST_F(ObxctlTest, EverySubcommandReadsOrChangesWhatTheApiOffers) {
    const auto devices = ctl.document({"devices"});
    ASSERT_EQ(devices["devices"].size(), 1u);
    const std::string id = std::to_string(devices["devices"][0]["id"].get<int>());
    const auto table = ctl({"devices"});
    EXPECT_NE(table.output.find("PRESENT"), std::string::npos) << table.output;
    EXPECT_NE(table.output.find("yes"), std::string::npos) << table.output;

    // The one trackball present is taken without --device.
    EXPECT_EQ(ctl.document({"apps"}), ctl.document({"--device", id, "apps"}));
    auto run = ctl({"app", "add", "/usr/bin/Editor", "My Editor"});
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_NE(run.output.find("/usr/bin/editor  My Editor"), std::string::npos) << run.output;
    const std::string app = "/usr/bin/editor";

    const auto pointerSet = ctl.document(
        {"--app", app, "pointer", "set", "speed=70", "acceleration=off", "slowModifiers=shift+ctrl"});
    const auto pointer = ctl.document({"--app", app, "pointer", "get"});
    EXPECT_EQ(pointerSet, pointer);
    EXPECT_EQ(pointer["speed"], 70);
    EXPECT_EQ(pointer["acceleration"], false);
    EXPECT_EQ(pointer["slowModifiers"], "ctrl,shift");
    // The global profile kept its own.
    EXPECT_NE(ctl.document({"pointer", "get"})["speed"], 70);

    const auto scroll = ctl.document({"--app", app, "scroll", "set", "speed=4", "invert=on", "inertial=off"});
    EXPECT_EQ(scroll["speed"], 4);
    EXPECT_EQ(scroll["invert"], true);
    EXPECT_EQ(ctl.document({"--app", app, "scroll", "get"}), scroll);

    EXPECT_EQ(ctl.document({"--app", app, "button", "set", "3", "key", "ctrl+c"}),
              (json{{"command", "keystroke"}, {"keyCode", 67}, {"modifiers", "ctrl"}}));
    EXPECT_EQ(ctl.document({"--app", app, "button", "get", "0x4"})["keyCode"], 67);
    run = ctl({"--app", app, "button", "get"});
    const auto line = run.output.find("\n3 ");
    ASSERT_NE(line, std::string::npos) << run.output;
    const std::string row = run.output.substr(line + 1, run.output.find('\n', line + 1) - line - 1);
    EXPECT_NE(row.find(" 0x4 "), std::string::npos) << row;
    EXPECT_NE(row.find("\"keystroke\""), std::string::npos) << row;

    EXPECT_EQ(ctl.document({"--app", app, "snippets"}).size(), 10u);
    run = ctl({"favapps", "--count", "5"});
    EXPECT_EQ(run.exit, 0) << run.output;

    EXPECT_EQ(ctl.document({"general", "set", "trayIcon=off"})["trayIcon"], false);
    EXPECT_EQ(ctl.document({"general", "get"})["trayIcon"], false);

    const auto apps = ctl.document({"app", "remove", "/USR/bin/editor"});
    EXPECT_EQ(apps, (json{{"apps", {{{"*", "*"}}}}}));
}

TEST_F(ObxctlTest, ShortActionFormsStoreWhatTheirJsonFormsStore) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> forms{
        {{"key", "ctrl+shift+f5"}, R"({"command":"keystroke","keyCode":116,"modifiers":"ctrl,shift"})"},
        {{"key", "a"}, R"({"command":"keystroke","keyCode":65})"},
        {{"click", "right"}, R"({"command":"singleClick","button":2})"},
        {{"click", "alt+middle"}, R"({"command":"singleClick","button":3,"modifiers":"alt"})"},
        {{"double-click", "left"}, R"({"command":"multiClick","button":1,"clicks":2})"},
        {{"drag", "left"}, R"({"command":"drag","button":1})"},
        {{"text", "Grüße, 世界"}, R"({"command":"snippet","content":"Grüße, 世界"})"},
        {{"open", "/home/user/notes file.txt"}, R"({"command":"open","path":"/home/user/notes file.txt"})"},
        {{"scroll", "up", "3"}, R"({"command":"scroll","direction":"up","lines":3})"},
        {{"scroll-mode"}, R"({"command":"scroll","direction":"trackball"})"},
        {{"snippet-menu"}, R"({"command":"snippetMenu"})"},
        {{"system", "maximizeWindow"}, R"({"command":"system","action":"maximizeWindow"})"},
        {{"none"}, R"({"command":"none"})"},
        {{"sequence", "down", "ctrl+shift", "key", "alt+f4", "up", "shift+ctrl", "pause", "200", "text", "hi",
          "click", "ctrl+right", "press", "left", "release", "left"},
         R"({"command":"sequence","steps":[{"type":"keyDown","modifiers":"ctrl,shift"},)"
         R"({"type":"keystroke","keyCode":115,"modifiers":"alt"},{"type":"keyUp","modifiers":"ctrl,shift"},)"
         R"({"type":"pause","ms":200},{"type":"text","text":"hi"},)"
         R"({"type":"click","button":2,"modifiers":"ctrl"},{"type":"buttonDown","button":1},)"
         R"({"type":"buttonUp","button":1}]})"},
        {{"gesture", "repeat", "150", "up", "key", "ctrl+pageup", "wheel-down", "scroll", "left", "2",
          "pan-left", "none", "tap", R"({"command":"sequence","steps":[{"type":"pause","ms":5}]})"},
         R"({"command":"gesture","mode":"repeat","threshold":150,"up":{"command":"keystroke","keyCode":33,)"
         R"("modifiers":"ctrl"},"wheelDown":{"command":"scroll","direction":"left","lines":2},)"
         R"("panLeft":{"command":"none"},"tap":{"command":"sequence","steps":[{"type":"pause","ms":5}]}})"},
    };
    for (const auto& [words, longForm] : forms) {
        std::vector<std::string> shortArgs{"button", "set", "4"};
        shortArgs.insert(shortArgs.end(), words.begin(), words.end());
        auto run = ctl({"button", "set", "4", longForm});
        ASSERT_EQ(run.exit, 0) << longForm << ": " << run.output;
        const json afterLong = ctl.exported();
        // Something else between, so that the short form must store anew.
        ASSERT_EQ(ctl({"button", "set", "4", "use-global"}).exit, 0);
        run = ctl(shortArgs);
        ASSERT_EQ(run.exit, 0) << words[0] << ": " << run.output;
        EXPECT_EQ(ctl.exported(), afterLong) << words[0];
        EXPECT_EQ(ctl.document({"button", "get", "4"}), json::parse(longForm)) << words[0];
    }
    // The helper's refusal of a sequence out of bounds, and the button unchanged.
    const auto before = ctl.document({"button", "get", "4"});
    const auto refused =
        ctl({"button", "set", "4", "sequence", "pause", "5000", "pause", "5000", "pause", "1"});
    EXPECT_EQ(refused.exit, 1) << refused.output;
    EXPECT_NE(refused.output.find("Sequence step 3 makes the pauses 10001 ms in all, more than 10000"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(ctl.document({"button", "get", "4"}), before);
    const auto gestureRefused = ctl({"button", "set", "4", "gesture", "repeat", "wheel-up", "key", "a"});
    EXPECT_EQ(gestureRefused.exit, 1) << gestureRefused.output;
    EXPECT_NE(gestureRefused.output.find(R"(Gesture has "mode" "repeat" but none of "up")"),
              std::string::npos)
        << gestureRefused.output;
    // A listing shows a gesture in its short form.
    ASSERT_EQ(
        ctl({"button", "set", "6", "gesture", "down", "key", "ctrl+w", "tap", "click", "shift+right"}).exit,
        0);
    const auto listed = ctl({"button", "get", "6"}).output;
    EXPECT_NE(listed.find("gesture down key ctrl+w tap click shift+right"), std::string::npos) << listed;
    // Chords and the pan are buttons too.
    const auto chord = ctl.document({"button", "set", "1+2", "click", "middle"});
    EXPECT_EQ(ctl.document({"button", "get", "0x3"}), chord);
    const auto pan = ctl.document({"button", "set", "pan-left", "scroll", "left"});
    EXPECT_EQ(ctl.document({"button", "get", "0x40000000"}), pan);
}

TEST_F(ObxctlTest, ExportThenImportIsLossless) {
    ASSERT_EQ(ctl({"app", "add", "/opt/Tool/tool", "Tool"}).exit, 0);
    ASSERT_EQ(ctl({"--app", "/opt/tool/tool", "button", "set", "5", "text", "line one\nline \"two\""}).exit,
              0);
    ASSERT_EQ(ctl({"--app", "/opt/tool/tool", "pointer", "set", "accelerationRate=35"}).exit, 0);
    const auto file = setting.folder() / "exported.json";
    auto run = ctl({"config", "export", file.string()});
    ASSERT_EQ(run.exit, 0) << run.output;
    const json before = ctl.exported();

    ASSERT_EQ(ctl({"app", "remove", "/opt/tool/tool"}).exit, 0);
    ASSERT_EQ(ctl({"button", "set", "1", "none"}).exit, 0);
    ASSERT_NE(ctl.exported(), before);

    run = ctl({"config", "import", file.string()});
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_EQ(ctl.exported(), before);
    EXPECT_EQ(ctl.document({"--app", "/opt/tool/tool", "button", "get", "5"})["content"],
              "line one\nline \"two\"");
}

TEST(ObxctlErrorsTest, HelperRefusalNoHelperAndBadUsageHaveTheirExitCodes) {
    HelperSetting setting;
    Obxctl ctl(setting);
    // Nothing listens yet: the message names the port, from either source.
    auto run = ctl({"devices"});
    EXPECT_EQ(run.exit, 2) << run.output;
    EXPECT_NE(run.output.find("127.0.0.1:" + std::to_string(setting.port())), std::string::npos)
        << run.output;
    const std::string other = std::to_string(freePort());
    run = ctl({"--port", other, "devices"});
    EXPECT_EQ(run.exit, 2) << run.output;
    EXPECT_NE(run.output.find("127.0.0.1:" + other), std::string::npos) << run.output;

    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"--port", "0", "devices"},
             {"--device", "70000", "apps"},
             // Checked before the helper is asked which trackball is present.
             {"button", "set", "3", "key", "ctrl+nokey"},
             {"--device", "1", "button", "set", "3", "click", "sideways"},
             {"--device", "1", "button", "set", "0", "none"},
             {"--device", "1", "button", "set", "3", "{not json"},
             {"pointer", "set", "speed=fast"},
             {"--device", "1", "scroll", "set", "colour=red"},
             {"--device", "1", "button", "set", "3", "sequence", "pause", "5001"},
             {"--device", "1", "button", "set", "3", "sequence", "key"},
             {"--device", "1", "button", "set", "3", "sequence", "wait", "200"},
             {"--device", "1", "button", "set", "3", "gesture", "once"},
             {"--device", "1", "button", "set", "3", "gesture", "up", "key"},
             {"--device", "1", "button", "set", "3", "gesture", "up", "key", "a", "up", "key", "b"},
             {"--device", "1", "button", "set", "3", "gesture", "sideways", "key", "a"},
             {"--device", "1", "button", "set", "3", "gesture", "5", "up", "key", "a"},
             {"--device", "1", "button", "set", "3", "gesture", "tap", "sequence", "pause", "5"},
             {"config", "import", "/nonexistent/settings.json"},
             {"--bogus-option"}}) {
        run = ctl(args);
        EXPECT_EQ(run.exit, 64) << ::testing::PrintToString(args) << ": " << run.output;
    }
    run = ctl({"devices"}, {"OBX_HTTP_PORT=not-a-port"});
    EXPECT_EQ(run.exit, 64) << run.output;

    // The helper's reason, with exit code 1.
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    run = ctl({"--device", "1", "app", "remove", "*"});
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_NE(run.output.find("Global app profile cannot be deleted"), std::string::npos) << run.output;
    run = ctl({"--device", "4242", "pointer", "get"});
    EXPECT_EQ(run.exit, 1) << run.output;
    EXPECT_NE(run.output.find("Setting for device does not exist"), std::string::npos) << run.output;
    // No trackball present: the device must be named.
    run = ctl({"apps"});
    EXPECT_EQ(run.exit, 64) << run.output;
}

TEST(ObxctlOpenTest, OpensTheHelpersPageInTheBrowserOnlyWhenTheHelperRuns) {
    HelperSetting setting;
    Obxctl ctl(setting);
    // A stand-in for the desktop's opener that leaves a mark with what it was asked to open.
    const auto tools = setting.folder() / "tools";
    std::filesystem::create_directories(tools);
    const auto mark = setting.folder() / "opened";
    writeFile(tools / "xdg-open", "#!/bin/sh\necho \"$@\" >> '" + mark.string() + "'\n");
    std::filesystem::permissions(tools / "xdg-open", std::filesystem::perms::owner_all);
    const std::vector<std::string> environment{"OBX_HTTP_PORT=" + std::to_string(setting.port()),
                                               "PATH=" + tools.string() + ":/usr/bin:/bin"};
    const auto address = "http://127.0.0.1:" + std::to_string(setting.port()) + "/ui/";

    EXPECT_EQ(ctl({"open"}, environment).exit, 2) << "no helper, no page";
    EXPECT_FALSE(std::filesystem::exists(mark));

    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    const auto run = ctl({"open"}, environment);
    EXPECT_EQ(run.exit, 0) << run.output;
    EXPECT_EQ(run.output, "Opened " + address + "\n");
    // The browser gets a one-time code of the helper's.
    const auto opened = readFile(mark);
    EXPECT_TRUE(opened.starts_with(address + "?code=") && opened.size() == address.size() + 6 + 32 + 1 &&
                opened.find_first_not_of("0123456789abcdef", address.size() + 6) == opened.size() - 1)
        << opened;
    EXPECT_EQ(ctl({"open", "now"}, environment).exit, 64);

    writeFile(tools / "xdg-open", "#!/bin/sh\nexit 3\n");
    EXPECT_EQ(ctl({"open"}, environment).exit, 1) << "the opener failed";
}

} // namespace
} // namespace obx::test
