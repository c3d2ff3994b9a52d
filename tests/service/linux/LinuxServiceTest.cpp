#include "service/linux/DesktopSession.h"
#include "service/linux/LinuxServiceLog.h"
#include "service/linux/StateFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace obx::test {
namespace {

using linuxos::StateFile;

TEST(StateFileTest, TheFolderFollowsTheXdgRules) {
    EXPECT_EQ(StateFile::defaultPath("/s", "/h"), "/s/Halvex/Ombrix/notification.json");
    EXPECT_EQ(StateFile::defaultPath(nullptr, "/h"), "/h/.local/state/Halvex/Ombrix/notification.json");
    // Relative and empty values are to be ignored.
    EXPECT_EQ(StateFile::defaultPath("rel", "/h"), "/h/.local/state/Halvex/Ombrix/notification.json");
    EXPECT_EQ(StateFile::defaultPath("", "/h"), "/h/.local/state/Halvex/Ombrix/notification.json");
    EXPECT_EQ(StateFile::defaultPath(nullptr, nullptr), "");
}

TEST(StateFileTest, AWrittenRecordIsReadBackAndOnlyANonZeroTimeCounts) {
    TempFolder folder;
    const auto path = folder / "a" / "b" / "notification.json";
    StateFile state(path);
    EXPECT_FALSE(state.notified());
    EXPECT_EQ(state.write(1'765'000'000), 0);
    EXPECT_EQ(readFile(path), "{\"DownloadNotified\":1765000000}\n");
    EXPECT_TRUE(state.notified());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
    EXPECT_EQ(state.write(0), 0);
    EXPECT_FALSE(state.notified());
}

TEST(StateFileTest, DamagedOrForeignContentIsNoRecord) {
    TempFolder folder;
    const auto path = folder / "notification.json";
    StateFile state(path);
    for (const std::string content : {"", "{\"DownloadNotified\":", "[1]", "{\"DownloadNotified\":\"yes\"}",
                                      "{\"other\":5}", "{\"DownloadNotified\":1.5}"}) {
        writeFile(path, content);
        EXPECT_FALSE(state.notified()) << content;
    }
    writeFile(path, "{\"DownloadNotified\":7," + std::string(10'000, ' ') + "\"x\":0}");
    EXPECT_FALSE(state.notified());
    writeFile(path, "{\"x\":[1,2],\"DownloadNotified\":7}");
    EXPECT_TRUE(state.notified());
}

TEST(StateFileTest, AFolderThatCannotBeMadeReportsTheError) {
    TempFolder folder;
    writeFile(folder / "file", "");
    StateFile state(folder / "file" / "notification.json");
    EXPECT_NE(state.write(5), 0);
    EXPECT_NE(StateFile({}).write(5), 0);
}

TEST(DisplayLanguageTest, PosixLocaleNamesBecomeLanguageNames) {
    EXPECT_EQ(linuxos::displayLanguageName("de_DE.UTF-8"), "de-DE");
    EXPECT_EQ(linuxos::displayLanguageName("sr_RS@latin"), "sr-RS");
    EXPECT_EQ(linuxos::displayLanguageName("zh_TW"), "zh-TW");
    EXPECT_EQ(linuxos::displayLanguageName("C.UTF-8"), "C");
    EXPECT_EQ(linuxos::displayLanguageName(""), "");
}

TEST(DisplayLanguageTest, LanguageThenLcAllThenLcMessagesThenLang) {
    const auto with = [](const char* language, const char* all, const char* messages, const char* lang) {
        const auto set = [](const char* name, const char* value) {
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        };
        set("LANGUAGE", language);
        set("LC_ALL", all);
        set("LC_MESSAGES", messages);
        set("LANG", lang);
        return linuxos::preferredDisplayLanguage();
    };
    EXPECT_EQ(with("pt_BR:en", "de_DE", "fr_FR", "it_IT"), "pt-BR");
    EXPECT_EQ(with("", "de_DE.UTF-8", "fr_FR", "it_IT"), "de-DE");
    EXPECT_EQ(with(nullptr, nullptr, "fr_FR", "it_IT"), "fr-FR");
    EXPECT_EQ(with(nullptr, "", "", "ca_ES.UTF-8@valencia"), "ca-ES");
    EXPECT_EQ(with(nullptr, nullptr, nullptr, nullptr), std::nullopt);
}

TEST(ServiceLogFileTest, AppendsToItsOwnFileAndNeverFollowsALink) {
    TempFolder folder;
    ::setenv("TMPDIR", folder.path().c_str(), 1);
    EXPECT_EQ(linuxos::LinuxServiceLogFile::defaultPath(), folder / "obxsvc.log");
    {
        linuxos::LinuxServiceLogFile log;
        log.write("one\n");
        log.write("two\n");
    }
    EXPECT_EQ(readFile(folder / "obxsvc.log"), "one\ntwo\n");
    struct stat status {};
    ::stat((folder / "obxsvc.log").c_str(), &status);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    std::filesystem::remove(folder / "obxsvc.log");
    writeFile(folder / "victim", "");
    std::filesystem::create_symlink(folder / "victim", folder / "obxsvc.log");
    linuxos::LinuxServiceLogFile().write("three\n");
    EXPECT_EQ(readFile(folder / "victim"), "");
    ::unsetenv("TMPDIR");
}

} // namespace
} // namespace obx::test
