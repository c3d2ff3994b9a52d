#include "actions/LowerCase.h"
#include "base/LogCapture.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/windows/catalogue/ApplicationWindows.h"
#include "platform/windows/catalogue/DevicePaths.h"
#include "platform/windows/catalogue/ProgramIcon.h"
#include "platform/windows/catalogue/Shortcuts.h"
#include "platform/windows/catalogue/WindowsCataloguePlatform.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <string>

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <psapi.h>
#include <shlobj.h>
#include <wrl/client.h>
// clang-format on

// The catalogue against the system itself: shortcut files written into the
// Wine prefix's desktop and Start Menus, icons of the prefix's programs, and
// windows of this test program.

namespace obx {
namespace {

using namespace windows;
using Microsoft::WRL::ComPtr;
using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

const std::wstring notepad = L"C:\\windows\\system32\\notepad.exe";
const std::wstring regedit = L"C:\\windows\\regedit.exe";
const std::wstring winemine = L"C:\\windows\\system32\\winemine.exe";

std::string utf8(const std::wstring& text) {
    const auto bytes = std::filesystem::path(text).u8string();
    return std::string(bytes.begin(), bytes.end());
}

std::wstring lowered(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    });
    return text;
}

std::wstring ownProgram() {
    std::array<wchar_t, MAX_PATH> path{};
    ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return path.data();
}

std::string base64Decode(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const auto value = alphabet.find(c);
        if (value == std::string::npos) {
            break;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return bytes;
}

class ComThread {
public:
    ComThread() { initialized_ = SUCCEEDED(::CoInitialize(nullptr)); }
    ~ComThread() {
        if (initialized_) {
            ::CoUninitialize();
        }
    }
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;

private:
    bool initialized_ = false;
};

void writeShortcut(const std::filesystem::path& file, const std::wstring& target,
                   const std::wstring& iconLocation = {}, int iconIndex = 0) {
    ComPtr<IShellLinkW> link;
    ASSERT_HRESULT_SUCCEEDED(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)));
    ASSERT_HRESULT_SUCCEEDED(link->SetPath(target.c_str()));
    if (!iconLocation.empty()) {
        ASSERT_HRESULT_SUCCEEDED(link->SetIconLocation(iconLocation.c_str(), iconIndex));
    }
    ComPtr<IPersistFile> persist;
    ASSERT_HRESULT_SUCCEEDED(link.As(&persist));
    std::filesystem::create_directories(file.parent_path());
    ASSERT_HRESULT_SUCCEEDED(persist->Save(file.wstring().c_str(), TRUE));
}

std::filesystem::path knownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        folder = path;
    }
    ::CoTaskMemFree(path);
    return folder;
}

// Files and folders this test puts into the prefix's shared places, removed
// again whatever the test's outcome.
class PlacedFiles {
public:
    PlacedFiles() = default;
    ~PlacedFiles() {
        for (const auto& path : paths_) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    PlacedFiles(const PlacedFiles&) = delete;
    PlacedFiles& operator=(const PlacedFiles&) = delete;

    const std::filesystem::path& place(std::filesystem::path path) {
        paths_.push_back(std::move(path));
        return paths_.back();
    }

private:
    std::vector<std::filesystem::path> paths_;
};

// Several copies of this program may run in one prefix at once.
std::wstring unique(const std::wstring& name) {
    return name + L" " + std::to_wstring(::GetCurrentProcessId());
}

TEST(DevicePathsTest, VolumesAndMappedSharesBecomeDriveLetterPaths) {
    const std::map<wchar_t, std::wstring> devices{
        {L'C', L"\\Device\\HarddiskVolume1"},
        {L'D', L"\\Device\\HarddiskVolume10"},
        // Malformed redirections are passed over, not taken as prefixes.
        {L'E', L"\\Device\\LanmanRedirector\\server\\share"},
        {L'F', L"\\Device\\LanmanRedirector\\;F:\\server\\share"},
        {L'X', L"\\Device\\LanmanRedirector\\;X:0000000000012345\\srv\\apps"},
        // Logon sessions are hexadecimal; share names may hold spaces.
        {L'Z', L"\\Device\\LanmanRedirector\\;Z:00000000000a3f1c\\server\\my share"},
    };
    std::wstring asked;
    const DriveDevice deviceOf = [&](wchar_t letter) {
        asked += letter;
        const auto found = devices.find(letter);
        return found == devices.end() ? std::wstring() : found->second;
    };
    const auto converted = [&](const std::wstring& path) { return devicePathToDosPath(path, deviceOf); };

    EXPECT_EQ(converted(L"\\Device\\HarddiskVolume1\\Windows\\notepad.exe"), L"C:\\Windows\\notepad.exe");
    EXPECT_EQ(asked, L"ABC");
    EXPECT_EQ(converted(L"\\device\\HARDDISKVOLUME10\\Tools\\a.exe"), L"D:\\Tools\\a.exe");
    EXPECT_EQ(converted(L"\\Device\\LanmanRedirector\\srv\\apps\\b.exe"), L"X:\\b.exe");
    EXPECT_EQ(converted(L"\\Device\\LanmanRedirector\\server\\my share\\tools\\c.exe"), L"Z:\\tools\\c.exe");
    EXPECT_EQ(converted(L"\\Device\\LanmanRedirector\\server\\share\\d.exe"), L"");
    EXPECT_EQ(converted(L"\\Device\\LanmanRedirector\\srv\\apps2\\e.exe"), L"");
    asked.clear();
    EXPECT_EQ(converted(L"\\Device\\HarddiskVolume2\\f.exe"), L"");
    EXPECT_EQ(asked, L"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
}

TEST(DevicePathsTest, ThisProgramsImagePathLeadsToItsFile) {
    std::array<wchar_t, 1024> image{};
    const DWORD length =
        ::K32GetProcessImageFileNameW(::GetCurrentProcess(), image.data(), static_cast<DWORD>(image.size()));
    ASSERT_GT(length, 0u);
    const std::wstring devicePath(image.data(), length);
    ASSERT_NE(devicePath.substr(1, 2), L":\\") << "already a drive-letter path: " << utf8(devicePath);
    EXPECT_EQ(lowered(devicePathToDosPath(devicePath)), lowered(ownProgram())) << utf8(devicePath);
}

TEST(ShortcutsTest, FilesNamedAsShortcutsAreCollectedDepthFirst) {
    const test::TempFolder folder;
    for (const auto* name : {"a.lnk", "b.LNK", "c.lnk.txt", "notes.txt", "sub\\d.lnk", "sub\\deeper\\e.lnk",
                             "sub\\deeper\\f.txt", "g.lnk\\h.lnk"}) {
        const auto file = folder / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << "not read";
    }
    const auto root = folder.path().wstring();
    const auto at = [&root](const wchar_t* name) { return root + L"\\" + name; };

    EXPECT_THAT(collectShortcuts(root, false), UnorderedElementsAre(at(L"a.lnk"), at(L"c.lnk.txt")));
    const auto all = collectShortcuts(root + L"\\", true);
    EXPECT_THAT(all, UnorderedElementsAre(at(L"a.lnk"), at(L"c.lnk.txt"), at(L"sub\\d.lnk"),
                                          at(L"sub\\deeper\\e.lnk"), at(L"g.lnk\\h.lnk")));
    // A subfolder's shortcuts come together, where the subfolder was met.
    const auto inSub = [&](const std::wstring& path) { return path.starts_with(at(L"sub\\")); };
    const auto first = std::find_if(all.begin(), all.end(), inSub);
    ASSERT_NE(first, all.end());
    EXPECT_TRUE(std::all_of(first, first + 2, inSub));

    const LogCapture logs;
    EXPECT_THAT(collectShortcuts(L"", true), ElementsAre());
    EXPECT_THAT(logs.texts(), ElementsAre());
    EXPECT_THAT(collectShortcuts(at(L"missing"), true), ElementsAre());
    EXPECT_TRUE(logs.contains(LogLevel::warning, "Error enumerating files, rc: 3"));
}

TEST(ShortcutsTest, ShortcutsLeadToTheirTargetsAndIcons) {
    const ComThread com;
    const test::TempFolder folder;
    const auto editor = folder / "Obx Editor.lnk";
    const auto registry = folder / "Registry.lnk.lnk";
    const auto windowsFolder = folder / "Windows.lnk";
    writeShortcut(editor, notepad, regedit, 0);
    writeShortcut(registry, regedit);
    writeShortcut(windowsFolder, L"C:\\windows");
    std::ofstream(folder / "Broken.lnk") << "not a shortcut";

    WindowsCataloguePlatform platform;
    const auto launcher = platform.resolveLauncher(utf8(editor.wstring()));
    ASSERT_TRUE(launcher);
    EXPECT_EQ(lowered(std::filesystem::path(launcher->program).wstring()), lowered(notepad));
    EXPECT_EQ(launcher->name, "Obx Editor");
    EXPECT_EQ(lowered(std::filesystem::path(launcher->icon.file).wstring()), lowered(regedit));
    EXPECT_EQ(launcher->icon.index, 0);

    const auto second = platform.resolveLauncher(utf8(registry.wstring()));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->name, "Registry.lnk");
    // Without an icon of its own, the shortcut stands for its program's first.
    EXPECT_EQ(second->icon.file, second->program);
    EXPECT_EQ(second->icon.index, 0);

    const auto toFolder = platform.resolveLauncher(utf8(windowsFolder.wstring()));
    ASSERT_TRUE(toFolder);
    EXPECT_EQ(lowered(std::filesystem::path(toFolder->program).wstring()), L"c:\\windows");

    EXPECT_FALSE(platform.resolveLauncher(utf8((folder / "Broken.lnk").wstring())));
    EXPECT_FALSE(platform.resolveLauncher(utf8((folder / "Missing.lnk").wstring())));

    EXPECT_EQ(shortcutDisplayName(L"C:\\a\\.lnk"), L"");
    EXPECT_EQ(shortcutDisplayName(L"C:\\a\\x.lnk"), L"x");
    EXPECT_EQ(shortcutDisplayName(L"C:\\a\\lnk"), L"lnk");
    EXPECT_EQ(shortcutDisplayName(L"Obx.lnk"), L"");
}

// The system's files, with M: a mapped network drive; every drive asked
// about and every file opened recorded.
class RecordingFiles final : public CatalogueFiles {
public:
    unsigned driveType(wchar_t letter) const override {
        drives.push_back(letter);
        return letter == L'M' ? DRIVE_REMOTE : CatalogueFiles::driveType(letter);
    }
    std::string iconBase64(const std::wstring& file, int index) const override {
        opened.push_back(lowered(file));
        return CatalogueFiles::iconBase64(file, index);
    }
    mutable std::wstring drives;
    mutable std::vector<std::wstring> opened;
};

TEST(CatalogueFilesTest, OnlyFullPathsOfLocalDrivesAreLocal) {
    const RecordingFiles files;
    const struct {
        const wchar_t* path;
        bool local;
    } cases[] = {
        {LR"(C:\windows\notepad.exe)", true},
        {LR"(c:/windows/notepad.exe)", true},
        {LR"(\\server\share\x.exe)", false},
        {LR"(//server/share/x.exe)", false},
        {LR"(\\?\UNC\server\share\x)", false},
        {LR"(\\?\C:\windows\x.exe)", false},
        {LR"(\\.\pipe\icon)", false},
        {LR"(\windows\x.exe)", false},
        {LR"(C:windows\x.exe)", false},
        {LR"(x.exe)", false},
        {LR"()", false},
        {LR"(1:\x.exe)", false},
        {LR"(M:\tools\x.exe)", false},
        {LR"(Q:\not mapped\x.exe)", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isLocalPath(c.path, files), c.local) << utf8(c.path);
    }
    // Only drive-letter paths reach the system's question.
    EXPECT_EQ(files.drives, L"CcMQ");
}

TEST(ShortcutsTest, TargetsAndIconsOnTheNetworkAreNeverOpened) {
    const ComThread com;
    const test::TempFolder folder;
    const auto remote = folder / "Remote.lnk";
    const auto mapped = folder / "Mapped.lnk";
    const auto remoteIcon = folder / "Remote icon.lnk";
    writeShortcut(remote, LR"(\\server\share\tool.exe)", LR"(\\server\share\tool.ico)", 0);
    writeShortcut(mapped, LR"(M:\tools\tool.exe)", LR"(M:\tools\tool.ico)", 0);
    writeShortcut(remoteIcon, notepad, LR"(\\?\UNC\server\share\x.ico)", 0);

    // Read as they are written, not resolved.
    EXPECT_EQ(lowered(readShortcut(remote.wstring()).path), LR"(\\server\share\tool.exe)");
    EXPECT_EQ(lowered(readShortcut(mapped.wstring()).path), LR"(m:\tools\tool.exe)");

    const RecordingFiles files;
    WindowsCataloguePlatform platform(files);
    platform.beginList();
    EXPECT_FALSE(platform.resolveLauncher(utf8(remote.wstring())));
    EXPECT_FALSE(platform.resolveLauncher(utf8(mapped.wstring())));
    const auto local = platform.resolveLauncher(utf8(remoteIcon.wstring()));
    ASSERT_TRUE(local);
    EXPECT_EQ(local->icon.file, local->program);
    EXPECT_NE(platform.iconBase64(local->icon), "");
    EXPECT_EQ(platform.iconBase64({R"(\\.\pipe\icon)", 0}), "");
    platform.endList();
    EXPECT_THAT(files.opened, ElementsAre(lowered(notepad)));
    EXPECT_NE(files.drives.find(L'M'), std::wstring::npos) << "the mapped drive was asked about";
}

TEST(ProgramIconTest, ProgramsGivePngImagesAndOtherFilesNothing) {
    const ComThread com;
    const GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.running());

    const auto image = base64Decode(programIconBase64(notepad, 0));
    ASSERT_GE(image.size(), 20u);
    EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // The whole stream was read: the image ends with its end chunk.
    EXPECT_EQ(image.substr(image.size() - 8, 4), "IEND");

    EXPECT_EQ(programIconBase64(L"C:\\windows\\win.ini", 0), "");
    EXPECT_EQ(programIconBase64(L"C:\\windows\\no such program.exe", 0), "");
    EXPECT_EQ(programIconBase64(notepad, 9999), "");
}

// A top-level window of this program, shown until the end of the test.
class OwnWindow {
public:
    OwnWindow(DWORD style, const wchar_t* title) {
        window_ = ::CreateWindowExW(0, L"STATIC", title, style, 10, 10, 200, 100, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }
    ~OwnWindow() { ::DestroyWindow(window_); }
    OwnWindow(const OwnWindow&) = delete;
    OwnWindow& operator=(const OwnWindow&) = delete;

    HWND get() const { return window_; }

private:
    HWND window_;
};

std::vector<std::wstring> windowPrograms() {
    std::vector<std::wstring> programs;
    visitApplicationWindows([&](const std::wstring& program) {
        programs.push_back(lowered(program));
        return true;
    });
    return programs;
}

TEST(ApplicationWindowsTest, OnlyFramedTitledVisibleWindowsCount) {
    const auto self = lowered(ownProgram());
    {
        const OwnWindow bare(WS_POPUP | WS_VISIBLE, L"Obx bare");
        const OwnWindow untitled(WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"");
        const OwnWindow hidden(WS_OVERLAPPEDWINDOW, L"Obx hidden");
        ASSERT_TRUE(bare.get() && untitled.get() && hidden.get());
        EXPECT_THAT(windowPrograms(), Not(::testing::Contains(self)));
    }
    const OwnWindow framed(WS_OVERLAPPEDWINDOW | WS_VISIBLE, L"Obx framed");
    ASSERT_TRUE(framed.get());
    EXPECT_THAT(windowPrograms(), ::testing::Contains(self));

    int visits = 0;
    visitApplicationWindows([&](const std::wstring&) { return ++visits < 1; });
    EXPECT_EQ(visits, 1);
}

json withoutIcons(const json& list) {
    json names = json::object();
    for (const auto& record : list) {
        EXPECT_FALSE(record["icon"].get<std::string>().empty()) << record["program"];
        names[lowerCase(record["program"].get<std::string>())] = record["name"];
    }
    return names;
}

TEST(WindowsCatalogueTest, ShortcutsOfTheDesktopAndStartMenusAreListedWithTheirNames) {
    const ComThread com;
    PlacedFiles placed;
    const auto desktop = knownFolder(FOLDERID_Desktop);
    const auto userPrograms = knownFolder(FOLDERID_Programs);
    const auto commonMenu = knownFolder(FOLDERID_CommonStartMenu);
    ASSERT_FALSE(desktop.empty() || userPrograms.empty() || commonMenu.empty());

    const auto userFolder = placed.place(userPrograms / unique(L"Obx Test"));
    writeShortcut(userFolder / "Obx Editor.lnk", notepad);
    writeShortcut(userFolder / "Obx Notes.lnk", L"C:\\windows\\win.ini");
    const auto commonFolder = placed.place(commonMenu / "Programs" / unique(L"Obx Test"));
    writeShortcut(commonFolder / "Obx Registry.lnk", regedit);
    // The user's own shortcut names a program that both menus lead to.
    writeShortcut(commonFolder / "Common Editor.lnk", notepad);
    writeShortcut(placed.place(desktop / (unique(L"Obx Mines") + L".lnk")), winemine);
    writeShortcut(placed.place(desktop / (unique(L"Obx Folder") + L".lnk")), L"C:\\windows");

    // The desktop first, then each menu's top level before all of it; the
    // user's menu names programs before the common one.
    WindowsCataloguePlatform platform;
    const auto searched = [](const std::vector<LauncherFolder>& folders) {
        std::vector<std::pair<std::wstring, bool>> paths;
        for (const auto& folder : folders) {
            paths.emplace_back(lowered(std::filesystem::path(folder.path).wstring()), folder.recursive);
        }
        return paths;
    };
    const auto user = lowered(userPrograms.wstring());
    const auto common = lowered(commonMenu.wstring());
    EXPECT_THAT(searched(platform.listFolders()),
                ElementsAre(std::pair(lowered(desktop.wstring()), false), std::pair(user, false),
                            std::pair(user, true), std::pair(common, false), std::pair(common, true)));
    EXPECT_THAT(searched(platform.nameFolders()),
                ElementsAre(std::pair(user, true), std::pair(common, true)));

    ProgramCatalogue catalogue(std::make_unique<WindowsCataloguePlatform>());
    catalogue.rebuildNamesCache();
    const auto names = withoutIcons(catalogue.listApplications(20, {}));
    EXPECT_EQ(names.value("c:\\windows\\system32\\notepad.exe", ""), "Obx Editor") << names.dump();
    EXPECT_EQ(names.value("c:\\windows\\regedit.exe", ""), "Obx Registry") << names.dump();
    // Desktop shortcuts do not name programs; their file names do.
    EXPECT_EQ(names.value("c:\\windows\\system32\\winemine.exe", ""), "Winemine") << names.dump();
    EXPECT_FALSE(names.contains("c:\\windows")) << names.dump();
    EXPECT_FALSE(names.contains("c:\\windows\\win.ini")) << names.dump();

    const auto withProfiles = withoutIcons(catalogue.listApplications(20, {"C:\\Windows\\Regedit.exe"}));
    EXPECT_FALSE(withProfiles.contains("c:\\windows\\regedit.exe")) << withProfiles.dump();
    EXPECT_TRUE(withProfiles.contains("c:\\windows\\system32\\notepad.exe")) << withProfiles.dump();
}

} // namespace
} // namespace obx
