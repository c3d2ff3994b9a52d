#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "DesktopFolders.h"
#include "X11Probe.h"
#include "XvfbServer.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/linux/catalogue/DesktopEntry.h"
#include "platform/linux/catalogue/LinuxCataloguePlatform.h"

#include <X11/Xutil.h>
#include <array>
#include <boost/beast/core/detail/base64.hpp>
#include <climits>
#include <unistd.h>

namespace obx::x11::test {
namespace {

using linuxos::DesktopEnvironment;
using linuxos::LinuxCataloguePlatform;
using nlohmann::json;

std::string decoded(const std::string& text) {
    std::string bytes(boost::beast::detail::base64::decoded_size(text.size()), '\0');
    bytes.resize(boost::beast::detail::base64::decode(bytes.data(), text.data(), text.size()).first);
    return bytes;
}

// Width and height from a PNG's header chunk; zeros when it is no PNG.
std::pair<unsigned, unsigned> pngSize(const std::string& png) {
    if (png.size() < 24 || png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 || png.compare(12, 4, "IHDR") != 0) {
        return {0, 0};
    }
    auto word = [&](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + 4; ++i) {
            value = value << 8 | static_cast<unsigned char>(png[i]);
        }
        return value;
    };
    return {word(16), word(20)};
}

std::string hostName() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    gethostname(name.data(), name.size() - 1);
    return name.data();
}

class LinuxCatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.displayName().empty()) << server.failure();
        folders.nameDesktop(folders.configHome());
    }

    std::unique_ptr<ProgramCatalogue> catalogue() const {
        DesktopEnvironment environment;
        for (const auto& [name, value] : folders.environment(folders.configHome())) {
            std::string* field = name == "HOME"                  ? &environment.home
                                 : name == "XDG_DATA_HOME"       ? &environment.dataHome
                                 : name == "XDG_DATA_DIRS"       ? &environment.dataDirs
                                 : name == "XDG_CONFIG_HOME"     ? &environment.configHome
                                 : name == "XDG_CURRENT_DESKTOP" ? &environment.currentDesktops
                                                                 : &environment.path;
            *field = value;
        }
        environment.messagesLocale = "de_DE.UTF-8";
        return std::make_unique<ProgramCatalogue>(std::make_unique<LinuxCataloguePlatform>(
            LinuxCataloguePlatform::Options{server.displayName(), folders.procFolder(), environment}));
    }

    Window clientWindow(Display* display, const char* title, long pid, const std::string& host) {
        const Window window =
            XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 100, 0, 0, 0);
        if (title) {
            XStoreName(display, window, title);
        }
        manager.setPid(window, pid);
        manager.setClientMachine(window, host);
        return window;
    }

    static std::map<std::string, json> byProgram(const json& list) {
        std::map<std::string, json> records;
        for (const auto& record : list) {
            records[record.at("program").get<std::string>()] = record;
        }
        return records;
    }

    XvfbServer server;
    FakeWindowManager manager{server.displayName()};
    DesktopFolders folders;
};

TEST_F(LinuxCatalogueTest, TheLocalWindowOfAKnownProgramComesFirst) {
    Display* display = manager.display();
    const Window viewer = clientWindow(display, "Pictures - Viewer", 4141, hostName());
    const Window writer = clientWindow(display, "Letter - Writer", 4242, hostName());
    const Window untitled = clientWindow(display, nullptr, 4343, hostName());
    const Window remote = clientWindow(display, "Remote editor", 4444, "elsewhere.invalid");
    folders.runAs(4141, "viewer");
    folders.runAs(4242, "writer");
    folders.runAs(4343, "mailer");
    folders.runAs(4444, "editor");
    // Bottom to top: the remote and the untitled window above the writer.
    manager.setClients({viewer, writer, untitled, remote});

    auto list = catalogue();
    EXPECT_EQ(list->listApplications(1, {}), json::array({{{"program", folders.program("writer").string()},
                                                           {"name", "Writer"},
                                                           {"icon", DesktopFolders::pngIconBase64}}}));
    // Then the window below it, then the first entry of the user's folder.
    const auto three = byProgram(list->listApplications(3, {}));
    EXPECT_EQ(three.size(), 3u);
    EXPECT_TRUE(three.contains(folders.program("writer").string()));
    EXPECT_TRUE(three.contains(folders.program("viewer").string()));
    EXPECT_TRUE(three.contains(folders.program("editor").string()));
}

TEST_F(LinuxCatalogueTest, EntriesFollowTheDesktopEntryRulesWithLocalisedNamesAndPngIcons) {
    auto list = catalogue();
    const auto records = byProgram(list->listApplications(20, {}));

    std::vector<std::string> programs;
    for (const auto& [program, record] : records) {
        programs.push_back(std::filesystem::path(program).filename().string());
    }
    // Not hidden-tool (NoDisplay), kde-tool (another desktop) nor tried-tool
    // (its TryExec names no program).
    EXPECT_EQ(programs, (std::vector<std::string>{"editor", "mailer", "painter", "viewer", "writer"}));
    const auto& editor = records.at(folders.program("editor").string());
    // The user's entry, in German; the PNG of the size nearest 32 as it is.
    EXPECT_EQ(editor.at("name"), "Bearbeiter");
    EXPECT_EQ(editor.at("icon"), DesktopFolders::pngIconBase64);
    EXPECT_EQ(records.at(folders.program("mailer").string()).at("icon"), DesktopFolders::pngIconBase64);
    // A scalable icon nearer than the large PNG, drawn as a PNG of 32 pixels.
    const auto viewer = decoded(records.at(folders.program("viewer").string()).at("icon").get<std::string>());
    EXPECT_EQ(pngSize(viewer), (std::pair<unsigned, unsigned>{32, 32}));
    EXPECT_EQ(pngSize(decoded(records.at(folders.program("painter").string()).at("icon").get<std::string>())),
              (std::pair<unsigned, unsigned>{32, 32}));

    EXPECT_EQ(list->lookupProgramName(folders.program("mailer").string()), "Mailer");
    EXPECT_EQ(list->lookupProgramName("/opt/tools/unlisted-tool"), "Unlisted-tool");
}

TEST(DesktopEntry, LocalesExecQuotingAndGroups) {
    EXPECT_EQ(linuxos::localeKeys("sr_RS.UTF-8@latin"),
              (std::vector<std::string>{"sr_RS@latin", "sr_RS", "sr@latin", "sr"}));
    EXPECT_EQ(linuxos::localeKeys("de"), (std::vector<std::string>{"de"}));
    EXPECT_TRUE(linuxos::localeKeys("C.UTF-8").empty());

    EXPECT_EQ(linuxos::execProgram(R"("/opt/my \"best\" app/run" --x %U)"), R"(/opt/my "best" app/run)");
    EXPECT_EQ(linuxos::execProgram("  gimp-2.10 %U"), "gimp-2.10");
    EXPECT_EQ(linuxos::execProgram(R"("/opt/unclosed)"), "");

    const auto entry = linuxos::parseDesktopEntry(
        "[Desktop Entry]\nName=Plain\nName[sr@latin]=Latinica\nName[sr]=Ћирилица\nName[xx=bad\nExec=a\\sb\n"
        "[Desktop Action x]\nExec=other\n",
        linuxos::localeKeys("sr_RS@latin"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Latinica");
    EXPECT_EQ(entry->exec, "a b");
    EXPECT_FALSE(linuxos::parseDesktopEntry("[Other]\n[Desktop Entry]\nExec=a\n", {}));
}

} // namespace
} // namespace obx::x11::test
