#include "catalogue/ProgramCatalogue.h"

#include "base/LogCapture.h"
#include "catalogue/Base64.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace obx {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;

// A system scripted by the test: windows topmost first, folders of launcher
// files, what each file leads to, the icons that can be made, and a clock.
class ScriptedCatalogue : public ICataloguePlatform {
public:
    struct Script {
        const ProgramRules* rules = &windowsPrograms;
        std::vector<std::string> windows;
        std::vector<LauncherFolder> listFolders;
        std::vector<LauncherFolder> nameFolders;
        std::map<std::string, std::vector<std::string>> folders;
        std::map<std::string, Launcher> launchers;
        std::set<std::string> iconless;
        std::int64_t now = 1'000'000;
        std::vector<std::string> searched;
        std::vector<std::string> calls;
    };

    explicit ScriptedCatalogue(Script& script) : script_(script) {}

    const ProgramRules& rules() const override { return *script_.rules; }
    void beginList() override { script_.calls.push_back("begin"); }
    void endList() noexcept override { script_.calls.push_back("end"); }
    void visitWindowPrograms(const std::function<bool(const std::string&)>& visit) override {
        for (const auto& program : script_.windows) {
            script_.calls.push_back("window " + program);
            if (!visit(program)) {
                return;
            }
        }
    }
    std::vector<LauncherFolder> listFolders() override { return script_.listFolders; }
    std::vector<LauncherFolder> nameFolders() override { return script_.nameFolders; }
    std::vector<std::string> launchers(const LauncherFolder& folder) override {
        script_.searched.push_back(folder.path + (folder.recursive ? " (all)" : ""));
        return script_.folders[folder.path];
    }
    std::optional<Launcher> resolveLauncher(const std::string& file) override {
        script_.calls.push_back("resolve " + file);
        const auto found = script_.launchers.find(file);
        return found == script_.launchers.end() ? std::nullopt : std::optional<Launcher>(found->second);
    }
    IconSource programIcon(const std::string& program) override { return {program, 0}; }
    std::string iconBase64(const IconSource& source) override {
        return script_.iconless.contains(source.file)
                   ? ""
                   : "icon:" + source.file + "," + std::to_string(source.index);
    }
    std::optional<std::int64_t> now() override { return script_.now; }

private:
    Script& script_;
};

class CatalogueTest : public ::testing::Test {
protected:
    ProgramCatalogue& catalogue() {
        if (!catalogue_) {
            catalogue_ = std::make_unique<ProgramCatalogue>(std::make_unique<ScriptedCatalogue>(script));
        }
        return *catalogue_;
    }
    void shortcut(const std::string& folder, const std::string& file, const std::string& target,
                  IconSource icon = {}) {
        script.folders[folder].push_back(file);
        const auto name = file.substr(file.rfind('\\') + 1);
        script.launchers[file] = {target, name.substr(0, name.rfind(".lnk")),
                                  icon.file.empty() ? IconSource{target, 0} : icon};
    }
    static std::vector<std::string> programs(const json& list) {
        std::vector<std::string> result;
        for (const auto& record : list) {
            result.push_back(record.at("program").get<std::string>());
        }
        return result;
    }

    ScriptedCatalogue::Script script;
    std::unique_ptr<ProgramCatalogue> catalogue_;
};

TEST_F(CatalogueTest, OneWindowFillsACountOfOneWithoutSearchingAnyFolder) {
    script.windows = {"C:\\Apps\\Editor.exe", "C:\\Apps\\Viewer.exe"};
    script.listFolders = {{"desktop", false}};
    shortcut("desktop", "desktop\\Alpha.lnk", "C:\\Alpha.exe");

    const auto list = catalogue().listApplications(1, {});

    EXPECT_EQ(
        list,
        json::parse(
            R"([{"program":"C:\\Apps\\Editor.exe","name":"Editor","icon":"icon:C:\\Apps\\Editor.exe,0"}])"));
    EXPECT_TRUE(script.searched.empty());
    // Stopped at the first window; the list was bracketed.
    EXPECT_THAT(script.calls, ElementsAre("begin", "window C:\\Apps\\Editor.exe", "end"));
}

TEST_F(CatalogueTest, ProfilesTheDesktopShellAndTheHelperAreNeverListed) {
    script.windows = {"C:\\Apps\\Editor.exe", "C:\\Windows\\Explorer.EXE", "C:\\Apps\\Paint.exe"};
    script.listFolders = {{"desktop", false}};
    shortcut("desktop", "desktop\\Edit.lnk", "C:\\APPS\\editor.exe");
    shortcut("desktop", "desktop\\Files.lnk", "C:\\Windows\\explorer.exe");
    shortcut("desktop", "desktop\\Helper.lnk", "C:\\Prog\\ObxHelper.exe");
    shortcut("desktop", "desktop\\Mail.lnk", "C:\\Apps\\Mail.exe");

    const auto list = catalogue().listApplications(10, {"c:\\apps\\editor.exe", "*"});

    EXPECT_THAT(programs(list), ElementsAre("C:\\Apps\\Mail.exe", "C:\\Apps\\Paint.exe"));
}

TEST_F(CatalogueTest, OnlyTargetsThatEndInTheProgramSuffixQualify) {
    script.listFolders = {{"menu", true}};
    shortcut("menu", "menu\\Caps.lnk", "C:\\TOOLS\\CAPS.EXE");
    shortcut("menu", "menu\\Inner.lnk", "C:\\a.exe\\b.exe");
    shortcut("menu", "menu\\Data.lnk", "C:\\Tools\\run.exe.txt");
    shortcut("menu", "menu\\Folder.lnk", "C:\\Tools");
    script.folders["menu"].push_back("menu\\Broken.lnk"); // resolves to nothing

    EXPECT_THAT(programs(catalogue().listApplications(10, {})), ElementsAre("C:\\TOOLS\\CAPS.EXE"));
}

TEST_F(CatalogueTest, TwoLaunchersOfOneProgramGiveOneRecordWithTheFirstIcon) {
    script.listFolders = {{"desktop", false}, {"menu", true}};
    shortcut("desktop", "desktop\\Paint.lnk", "C:\\Apps\\Paint.exe", {"C:\\Icons\\paint.ico", 2});
    shortcut("menu", "menu\\Paint again.lnk", "C:\\Apps\\Paint.exe");

    const auto list = catalogue().listApplications(10, {});

    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].at("icon"), "icon:C:\\Icons\\paint.ico,2");
    EXPECT_THAT(script.searched, ElementsAre("desktop", "menu (all)"));
}

TEST_F(CatalogueTest, NamesComeFromTheCacheElseFromTheFileName) {
    script.nameFolders = {{"user menu", true}, {"common menu", true}};
    shortcut("user menu", "user menu\\My Paint.lnk", "C:\\Apps\\Paint.exe");
    shortcut("common menu", "common menu\\Paint Studio.lnk", "C:\\Apps\\Paint.exe");
    shortcut("common menu", "common menu\\Mail Client.lnk", "C:\\Apps\\Mail.exe");
    catalogue().rebuildNamesCache();
    script.windows = {"C:\\Apps\\mail.exe", "c:\\apps\\PAINT.EXE", "D:\\tools\\zip.v2.Exe"};

    const auto list = catalogue().listApplications(10, {});

    std::map<std::string, std::string> names;
    for (const auto& record : list) {
        names[record.at("program")] = record.at("name");
    }
    // The user's own menu wins over the common one; a program no launcher
    // names is called by its file name, cut at the first suffix.
    EXPECT_EQ(names, (std::map<std::string, std::string>{{"C:\\Apps\\mail.exe", "Mail Client"},
                                                         {"c:\\apps\\PAINT.EXE", "My Paint"},
                                                         {"D:\\tools\\zip.v2.Exe", "Zip.v2"}}));
    EXPECT_EQ(catalogue().lookupProgramName("C:\\Apps\\readme.txt"), "");
    EXPECT_EQ(catalogue().lookupProgramName("notes.exe"), "Notes");
    EXPECT_EQ(linuxPrograms.fileNameTitle("/usr/bin/gimp-2.10"), "Gimp-2.10");
}

TEST_F(CatalogueTest, TheNamesCacheIsRebuiltOnceADayByTheList) {
    script.nameFolders = {{"menu", true}};
    shortcut("menu", "menu\\Old name.lnk", "C:\\Apps\\Paint.exe");
    catalogue().rebuildNamesCache();
    script.launchers["menu\\Old name.lnk"].name = "New name";
    script.windows = {"C:\\Apps\\Paint.exe"};

    script.now += ProgramNamesCache::secondsPerDay;
    EXPECT_EQ(catalogue().listApplications(1, {})[0].at("name"), "Old name");
    script.now += 1;
    EXPECT_EQ(catalogue().listApplications(1, {})[0].at("name"), "New name");
}

TEST_F(CatalogueTest, ProgramsWithoutIconsAreLeftOutButTheirLaunchersCount) {
    script.windows = {"C:\\Apps\\Blank.exe", "C:\\Apps\\Editor.exe"};
    script.iconless = {"C:\\Apps\\Blank.exe", "C:\\Apps\\Plain.exe"};
    script.listFolders = {{"desktop", false}, {"menu", false}};
    shortcut("desktop", "desktop\\Plain.lnk", "C:\\Apps\\Plain.exe");
    shortcut("desktop", "desktop\\Late.lnk", "C:\\Apps\\Late.exe");
    shortcut("menu", "menu\\Mail.lnk", "C:\\Apps\\Mail.exe");

    const auto list = catalogue().listApplications(2, {});

    // The window gave one record; the iconless launcher used up the
    // desktop's second place, so the next folder gives the other.
    EXPECT_THAT(programs(list), ElementsAre("C:\\Apps\\Editor.exe", "C:\\Apps\\Mail.exe"));
}

TEST_F(CatalogueTest, NothingToOfferIsTheEmptyArray) {
    script.windows = {"C:\\Windows\\explorer.exe"};
    script.listFolders = {{"empty", true}};
    const auto list = catalogue().listApplications(0, {});
    EXPECT_EQ(list.dump(), "[]");
    EXPECT_THAT(script.calls, ElementsAre("begin", "window C:\\Windows\\explorer.exe", "end"));
}

TEST_F(CatalogueTest, ListsAndLookupsAreLogged) {
    LogCapture capture;
    script.windows = {"C:\\Apps\\Editor.exe"};
    catalogue().rebuildNamesCache();
    catalogue().listApplications(1, {});
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Rebuilding program names cache..."));
    EXPECT_TRUE(
        capture.contains(LogLevel::debug, "Looking up cache for the name of \"c:\\apps\\editor.exe\".."));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "\tprogram binary not in name cache"));
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Inserting active process C:\\Apps\\Editor.exe"));
}

TEST(LinuxProgramRules, AnyTargetIsAProgramButTheDesktopsOwnAreNot) {
    EXPECT_TRUE(linuxPrograms.launchable("/usr/bin/gimp"));
    EXPECT_FALSE(linuxPrograms.launchable(""));
    EXPECT_TRUE(linuxPrograms.excluded("/usr/bin/gnome-shell"));
    EXPECT_TRUE(linuxPrograms.excluded("/opt/halvex/obxhelper"));
    EXPECT_FALSE(linuxPrograms.excluded("/usr/bin/gimp"));
}

TEST(Base64, EncodesTheRfc4648VectorsAndEveryByteValue) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("f"), "Zg==");
    EXPECT_EQ(base64Encode("fo"), "Zm8=");
    EXPECT_EQ(base64Encode("foo"), "Zm9v");
    EXPECT_EQ(base64Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(base64Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(base64Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64Encode(std::string("\x89PNG\r\n\x1a\n", 8)), "iVBORw0KGgo=");
    EXPECT_EQ(base64Encode(std::string("\xff\xfe\xfd\x00\x01", 5)), "//79AAE=");
}

TEST(ProcessCatalogue, WithoutAFactoryOffersNothing) {
    destroyProgramCatalogue();
    setProgramCatalogueFactory(nullptr);
    programCatalogue().rebuildNamesCache();
    EXPECT_EQ(programCatalogue().listApplications(5, {}), json::array());
    destroyProgramCatalogue();
}

} // namespace
} // namespace obx
