// The helper's icon in a headless GNOME Shell's top bar, shown by our
// extension: its menu starts the configuration application, it comes back
// after a Shell restart and goes with the helper.

#include "ConfigurationStandIn.h"
#include "GnomeShellSession.h"
#include "HelperProcess.h"
#include "RunningHelper.h"
#include "support/TempFolder.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>

namespace obx::test {
namespace {

constexpr const char* productLabel = "Quellane 2.1.19";

class GnomeTrayTest : public ::testing::Test {
protected:
    GnomeTrayTest() {
        // The helper's own settings folder stays the setting's.
        for (const auto& entry : shell.environment()) {
            if (!entry.starts_with("XDG_CONFIG_HOME=")) {
                const auto equals = entry.find('=');
                setting.setEnvironment(entry.substr(0, equals), entry.substr(equals + 1));
            }
        }
    }

    ::testing::AssertionResult shows(const std::vector<TopBarIcon>& icons) {
        std::vector<TopBarIcon> shown;
        if (waitUntil([&] { return (shown = shell.topBarIcons()) == icons; })) {
            return ::testing::AssertionSuccess();
        }
        auto failure = ::testing::AssertionFailure() << "the top bar shows " << shown.size() << " icons:";
        for (const auto& icon : shown) {
            failure << " [" << icon.icon << " | " << icon.title << " |";
            for (const auto& entry : icon.menu) {
                failure << " " << entry << ";";
            }
            failure << "]";
        }
        return failure;
    }

    GnomeShellSession shell{true};
    HelperSetting setting;
    ConfigurationStandIn application{setting};
};

TEST_F(GnomeTrayTest, TheHelpersIconShowsItsMenuWhoseEntryStartsTheApplicationAndGoesWithTheHelper) {
    const TopBarIcon helperIcon{"input-mouse", productLabel, {productLabel}};
    ASSERT_TRUE(shows({}));
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    ASSERT_TRUE(shows({helperIcon})) << setting.log();

    EXPECT_TRUE(shell.chooseTopBarEntry(productLabel));
    EXPECT_TRUE(waitUntil([&] { return application.launches() == 1; }));
    EXPECT_FALSE(shell.chooseTopBarEntry("Quellane"));

    // A restarted Shell serves the watcher again, and the helper registers anew.
    shell.restart();
    ASSERT_TRUE(shows({helperIcon})) << setting.log();
    EXPECT_TRUE(shell.chooseTopBarEntry(productLabel));
    EXPECT_TRUE(waitUntil([&] { return application.launches() == 2; }));

    helper.process().signal(SIGTERM);
    ASSERT_TRUE(helper.process().waitExit().has_value());
    EXPECT_TRUE(shows({}));
    EXPECT_EQ(application.launches(), 2u);
}

// Another program's item is refused; one with the helper's Id but hostile
// contents is shown bounded: the pixmap nearest the panel's size among those
// whose data fits, a cut title, one level of submenus and 64 entries; its
// changes are followed.
TEST_F(GnomeTrayTest, OnlyTheHelpersItemsShowAndAnItemsContentsAreBounded) {
    const auto script = shell.programFolder() / "stand_in_item.js";
    std::filesystem::copy_file(OBX_STAND_IN_ITEM, script);
    const auto output = shell.programFolder() / "item.out";
    auto printed = [&](const std::string& line) {
        return waitUntil([&] { return readFile(output).find(line + "\n") != std::string::npos; });
    };
    {
        auto other = shell.startClient({"gjs", script.string(), "other"}, output);
        ASSERT_TRUE(printed("refused org.freedesktop.DBus.Error.NotSupported")) << readFile(output);
        EXPECT_EQ(shell.topBarIcons(), std::vector<TopBarIcon>{});
    }

    auto ours = shell.startClient({"gjs", script.string(), "obxhelper"}, output);
    ASSERT_TRUE(printed("registered")) << readFile(output);
    TopBarIcon bounded{"pixmap 24x24", std::string(128, 'T'), {"Open_it", "Deep", "Deep/Deep"}};
    for (int entry = 0; entry < 60; ++entry) {
        bounded.menu.push_back("Entry " + std::to_string(entry));
    }
    ASSERT_TRUE(shows({bounded}));
    EXPECT_FALSE(shell.chooseTopBarEntry("Entry 60"));
    EXPECT_FALSE(shell.chooseTopBarEntry(std::string(129, 'T')));
    // The item drops its pixmaps and all but the first entry on this choice,
    // and says so in a burst of signals: the theme icon and the short menu show.
    EXPECT_TRUE(shell.chooseTopBarEntry("Open_it"));
    EXPECT_TRUE(printed("event 1 clicked")) << readFile(output);
    EXPECT_TRUE(shows({{"dialog-information", std::string(128, 'T'), {"Open_it"}}}));

    // An item that ends without a word goes too.
    ours.reset();
    EXPECT_TRUE(shows({}));
}

} // namespace
} // namespace obx::test
