// The Windows side of obxsvc under a real (or Wine's) Windows: the string
// table and icon compiled into obxsvc.exe, the record in the registry, the
// installer check and the console mode of the program.

#include "../ServiceFakes.h"
#include "service/windows/WinServiceLog.h"
#include "service/windows/WinStrings.h"
#include "service/windows/WinSystem.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace obx::test {
namespace {

using namespace std::chrono_literals;

std::wstring besideThisProgram(const wchar_t* name) {
    const auto path = win::programPath();
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

class ServiceResources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(besideThisProgram(L"obxsvc.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override { FreeLibrary(module_); }

    std::string text(int id) {
        win::ResourceStrings strings(module_);
        const auto loaded = strings.load(id);
        return loaded ? utf16ToUtf8(*loaded) : "<missing>";
    }

    HMODULE module_ = nullptr;
};

TEST_F(ServiceResources, TheStringTableHoldsTheExactTextsOfEveryScript) {
    EXPECT_EQ(text(103), "Halvex");
    EXPECT_EQ(text(104), "Halvex");
    EXPECT_EQ(text(109), "Halvex");
    EXPECT_EQ(text(105),
              "Please download Quellane utility from our website to enjoy the best of our input devices.");
    EXPECT_EQ(text(202),
              "Laden Sie bitte das Quellane-Dienstprogramm von unserer Website herunter, um das Beste aus "
              "unseren Eingabegeräten herauszuholen.");
    EXPECT_EQ(text(203),
              "Veuillez télécharger l’utilitaire Quellane sur notre site Web pour profiter au mieux de "
              "nos périphériques d’entrée.");
    EXPECT_EQ(text(214),
              "Norėdami išnaudoti visas mūsų įvesties įrenginių galimybes, atsisiųskite „Quellane“ "
              "programą iš mūsų svetainės.");
    EXPECT_EQ(text(220),
              "Для работы с лучшим из наших устройств ввода загрузите утилиту Quellane с нашего сайта.");
    EXPECT_EQ(text(224),
              "Κατεβάστε το πρόγραμμα Quellane από τον ιστότοπό μας και αξιοποιήστε στο μέγιστο τις "
              "συσκευές μας.");
    EXPECT_EQ(text(225),
              "يُرجى تنزيل أداة Quellane المساعدة من موقعنا الإلكتروني للاستمتاع بأفضل أجهزة الإدخال لدينا.");
    EXPECT_EQ(text(226), "请从我们网站下载 Quellane 实用程序，以便更好地使用我们的输入设备。");
    EXPECT_EQ(text(227), "ディバイスの機能を最大限に活用するために、Quellaneをウェブサイトからダウンロードし"
                         "て使用してください。");
    EXPECT_EQ(text(228), "請從我們的網站下載 Quellane 公用程式，以享受我們最好的輸入裝置。");
    EXPECT_EQ(text(229),
              "당사 입력 장치를 최대한 활용하려면 당사 웹사이트에서 Quellane 유틸리티를 다운로드받으십시오.");
    EXPECT_EQ(text(230), "<missing>");
}

TEST_F(ServiceResources, ThePopupTakesTheBalloonTextFromTheTableCutToTheBuffer) {
    win::ResourceStrings strings(module_);
    const auto texts = choosePopupTexts(strings, "lt-LT");
    EXPECT_EQ(texts.title, u"Halvex");
    EXPECT_EQ(utf16ToUtf8(texts.message), "Norėdami išnaudoti visas mūsų įvesties įrenginių galimybes, "
                                          "atsisiųskite „Quellane“ programą iš mūs");
}

TEST_F(ServiceResources, TheProgramIconIsResource107) {
    EXPECT_NE(FindResourceW(module_, MAKEINTRESOURCEW(107), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */),
              nullptr);
}

void deleteRecordKey() {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, win::RegistryRecord::keyPath);
}

TEST(RegistryRecordTest, OnlyANonZeroQwordCountsAsNotified) {
    deleteRecordKey();
    win::RegistryRecord record;
    EXPECT_FALSE(record.notified());
    ASSERT_EQ(record.write(1'765'000'000), 0);
    EXPECT_TRUE(record.notified());

    HKEY key = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, win::RegistryRecord::keyPath, 0, KEY_READ | KEY_SET_VALUE, &key),
        ERROR_SUCCESS);
    DWORD type = 0;
    ULONGLONG value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, win::RegistryRecord::valueName, nullptr, &type,
                               reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
    EXPECT_EQ(value, 1'765'000'000u);
    // Four bytes are not the record, whatever they hold.
    const DWORD shortValue = 1;
    RegSetValueExW(key, win::RegistryRecord::valueName, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&shortValue), sizeof shortValue);
    RegCloseKey(key);
    EXPECT_FALSE(record.notified());
    ASSERT_EQ(record.write(0), 0);
    EXPECT_FALSE(record.notified());
    deleteRecordKey();
}

// With the system's own record and installer, a minute without the utility
// ends with the time in the registry; the script that runs this test looks
// for that value in the prefix's registry file afterwards.
TEST(WindowsNotifySequenceTest, AMinuteWithoutTheUtilityWritesTheRecordToTheRegistry) {
    deleteRecordKey();
    Events events;
    win::RegistryRecord record;
    win::InstallerProductCheck product;
    FakeStarter starter{events};
    FakeClock clock;
    RecordingSink sink;
    ServiceLog log{sink};
    StopEvent stop;
    NotifySequence(record, product, starter, clock, log).run(stop);
    EXPECT_EQ(clock.elapsed, 60s);
    EXPECT_EQ(events, Events{"start popup"});
    EXPECT_TRUE(record.notified());
    EXPECT_EQ(sink.text(), "Notify thread - forking self to show popup.\n");
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string readLog() {
    return readFile(win::WinServiceLogFile::defaultPath());
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// LocalSystem's log, with its folders made below a folder of the test's
// through a seam that records each folder and the descriptor it is made with:
// Wine keeps no access control, so the descriptor passed is what can be
// checked.
class RecordingLogFolders final : public win::LogFolders {
public:
    explicit RecordingLogFolders(std::wstring programData) : programData_(std::move(programData)) {}
    bool runsAsLocalSystem() const override { return true; }
    std::wstring programData() const override { return programData_; }
    bool createFolder(const std::wstring& path, const wchar_t* sddl, bool& exists) const override {
        made.emplace_back(path, sddl);
        return LogFolders::createFolder(path, sddl, exists);
    }
    bool ownedBySystemOrAdministrators(const std::wstring& path) const override {
        asked.push_back(path);
        return trusted;
    }

    bool trusted = false;
    mutable std::vector<std::pair<std::wstring, std::wstring>> made;
    mutable std::vector<std::wstring> asked;

private:
    std::wstring programData_;
};

TEST(LocalSystemLogTest, ItsFoldersAreMadeForSystemAndTheAdministratorsBeforeTheFirstLine) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("obxsvc-log-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(root);
    const auto file = root / "Ombrix" / "Logs" / "obxsvc.log";
    RecordingLogFolders folders(root.wstring());
    win::WinServiceLogFile(folders).write("first line\n");
    const std::wstring onlySystemAndAdministrators = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    const std::vector<std::pair<std::wstring, std::wstring>> expected{
        {(root / "Ombrix").wstring(), onlySystemAndAdministrators},
        {(root / "Ombrix" / "Logs").wstring(), onlySystemAndAdministrators}};
    EXPECT_EQ(folders.made, expected);
    EXPECT_TRUE(folders.asked.empty());
    EXPECT_EQ(readFile(file), "first line\n");

    // Folders there already: as if another account had made them first, then SYSTEM.
    win::WinServiceLogFile(folders).write("not for them\n");
    EXPECT_EQ(folders.asked, std::vector<std::wstring>{(root / "Ombrix").wstring()});
    folders.trusted = true;
    win::WinServiceLogFile(folders).write("second line\n");
    EXPECT_EQ(readFile(file), "first line\nsecond line\n");
    std::filesystem::remove_all(root);
}

// Ctrl+C as the user types it: the program in a console of its own, and
// the event sent to every process of that console.
bool pressCtrlC(DWORD processId) {
    FreeConsole();
    if (!AttachConsole(processId)) {
        return false;
    }
    // This process shares the console for a moment; it must not end.
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    return sent;
}

TEST(ConsoleModeTest, DebugRunsUntilCtrlCAndEndsAfterTheNotifyThread) {
    win::RegistryRecord().write(1'765'000'000);
    DeleteFileW(win::WinServiceLogFile::defaultPath().c_str());
    auto commandLine = L"\"" + besideThisProgram(L"obxsvc.exe") + L"\" -debug";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                               nullptr, nullptr, &startup, &process))
        << GetLastError();
    EXPECT_TRUE(eventually([] { return readLog().find("previously notified") != std::string::npos; }));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(pressCtrlC(process.dwProcessId)) << GetLastError();
    const bool ended = WaitForSingleObject(process.hProcess, 20'000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(process.hProcess, 99);
    }
    EXPECT_TRUE(ended);
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(readLog(), "Starting Halvex Ombrix service...\n"
                         "Notify thread - previously notified, nothing to do.\n"
                         "Stopping Halvex Ombrix service...\n");
    deleteRecordKey();
}

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_) {
            CloseServiceHandle(handle_);
        }
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

DWORD serviceState(SC_HANDLE service) {
    SERVICE_STATUS status{};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

// Installed as the documentation says, started and stopped by the service
// control manager. This process stays alive meanwhile: Wine ends its services
// when the prefix has no other process.
TEST(ServiceManagerTest, TheServiceStartsRunsAndStopsUnderTheServiceControlManager) {
    win::RegistryRecord().write(1'765'000'000);
    DeleteFileW(win::WinServiceLogFile::defaultPath().c_str());
    ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_NE(manager.get(), nullptr) << GetLastError();
    if (ServiceHandle old(OpenServiceW(manager.get(), L"obxsvc", SERVICE_ALL_ACCESS)); old.get()) {
        DeleteService(old.get());
    }
    const auto binary = L"\"" + besideThisProgram(L"obxsvc.exe") + L"\"";
    ServiceHandle service(CreateServiceW(manager.get(), L"obxsvc", L"Quellane download invitation",
                                         SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                         SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr, nullptr,
                                         nullptr, nullptr));
    ASSERT_NE(service.get(), nullptr) << GetLastError();
    // The database stays locked while the manager starts the prefix's own
    // services after a fresh boot.
    DWORD startError = 0;
    eventually([&] {
        startError = StartServiceW(service.get(), 0, nullptr) ? 0 : GetLastError();
        return startError != ERROR_SERVICE_DATABASE_LOCKED;
    });
    ASSERT_EQ(startError, 0u);
    EXPECT_TRUE(eventually([&] { return serviceState(service.get()) == SERVICE_RUNNING; }));
    EXPECT_TRUE(eventually([] { return readLog().find("previously notified") != std::string::npos; }));
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << GetLastError();
    EXPECT_TRUE(eventually([&] { return serviceState(service.get()) == SERVICE_STOPPED; }));
    QueryServiceStatus(service.get(), &status);
    EXPECT_EQ(status.dwWin32ExitCode, 0u);
    EXPECT_EQ(readLog(), "Starting Halvex Ombrix service...\n"
                         "Notify thread - previously notified, nothing to do.\n"
                         "Stopping Halvex Ombrix service...\n");
    EXPECT_TRUE(DeleteService(service.get()));
    deleteRecordKey();
}

class PopupProcess {
public:
    PopupProcess() {
        auto commandLine = L"\"" + besideThisProgram(L"obxsvc.exe") + L"\" -showpopup";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_);
    }
    ~PopupProcess() {
        if (started_) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    PopupProcess(const PopupProcess&) = delete;
    PopupProcess& operator=(const PopupProcess&) = delete;

    bool started() const { return started_; }
    // The exit code, or 99 when it did not end in time.
    DWORD waitExit() {
        if (WaitForSingleObject(process_.hProcess, 20'000) != WAIT_OBJECT_0) {
            return 99;
        }
        DWORD code = 99;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION process_{};
};

HWND findWindow(const wchar_t* className, const wchar_t* title) {
    HWND window = nullptr;
    eventually([&] { return (window = FindWindowW(className, title)) != nullptr; });
    return window;
}

TEST(PopupWindowTest, AClickOnTheBalloonOpensThePageAndEndsThePopup) {
    DeleteFileW(win::WinServiceLogFile::defaultPath().c_str());
    PopupProcess popup;
    ASSERT_TRUE(popup.started()) << GetLastError();
    // The hidden main window, named by strings 109 and 103.
    const HWND main = findWindow(L"Halvex", L"Halvex");
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindowVisible(main));
    const HWND icons =
        findWindow(L"TRAY_ICON_MESSAGE_PROCESSOR_WND_CLASS", L"TRAY_ICON_MESSAGE_PROCESSOR_WND");
    ASSERT_NE(icons, nullptr);
    // As the notification area reports it: the popup's only icon has id 1.
    PostMessageW(icons, 0x464, 1, 0x404);
    PostMessageW(icons, 0x464, 1, 0x203);
    PostMessageW(icons, 0x464, 1, 0x405);
    EXPECT_EQ(popup.waitExit(), 0u);
    EXPECT_EQ(readLog(), "Quellane product webpage started\n");
}

TEST(PopupWindowTest, TheCloseCommandEndsThePopupWithoutOpeningThePage) {
    DeleteFileW(win::WinServiceLogFile::defaultPath().c_str());
    PopupProcess popup;
    ASSERT_TRUE(popup.started()) << GetLastError();
    const HWND main = findWindow(L"Halvex", L"Halvex");
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, 105, 0);
    EXPECT_EQ(popup.waitExit(), 0u);
    EXPECT_EQ(readLog(), "");
}

} // namespace
} // namespace obx::test
