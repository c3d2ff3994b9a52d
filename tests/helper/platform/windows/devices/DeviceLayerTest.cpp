// The Windows device layer as the helper runs it, under Wine: a system with
// no trackball, device notices sent to the device manager's window, and the
// foreground and modifier queries against a window and keys of the test's own.

#include "PipeServer.h"
#include "actions/SequencePlayer.h"
#include "base/LogCapture.h"
#include "devices/DeviceManager.h"
#include "helper/platform/windows/ProbeWindow.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/WindowsDesktopQueries.h"
#include "platform/windows/devices/WindowsDeviceNotices.h"
#include "platform/windows/devices/WindowsFileChangeWatch.h"
#include "support/RecordingPlatformServices.h"
#include "support/TempFolder.h"

#include <boost/locale/encoding_utf.hpp>
#include <chrono>
#include <cwctype>
#include <dbt.h>
#include <gtest/gtest.h>
#include <thread>

namespace obx::windows {
namespace {

using namespace std::chrono_literals;

template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class WindowsDeviceLayer : public ::testing::Test {
protected:
    void SetUp() override {
        platform->folder = folder.path().string();
        setDeviceLayerPlatformFactory(makeWindowsDeviceLayerPlatform);
        DeviceManager::instance().startWorker();
    }
    void TearDown() override {
        DeviceManager::destroyDeviceManager();
        setDeviceLayerPlatformFactory({});
    }

    // A device-interface notice of class sent to the manager's window, as
    // the system sends it.
    static void sendNotice(WPARAM event, const GUID& interfaceClass, const std::wstring& path) {
        std::vector<std::uint8_t> bytes(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) +
                                        path.size() * sizeof(wchar_t));
        auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(bytes.data());
        record->dbcc_size = static_cast<DWORD>(bytes.size());
        record->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        record->dbcc_classguid = interfaceClass;
        std::copy(path.begin(), path.end(), record->dbcc_name);
        ::SendMessageW(deviceManagerWindow(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(record));
    }

    bool errorLogged() const {
        for (const auto& record : log.records()) {
            if (record.level >= LogLevel::error) {
                return true;
            }
        }
        return false;
    }

    LogCapture log;
    test::TempFolder folder;
    test::ScopedRecordingPlatform platform;
};

TEST_F(WindowsDeviceLayer, StartsWithNoTrackballAndLogsNoError) {
    // A few poll ticks of the foreground and modifier checks.
    std::this_thread::sleep_for(1s);
    std::lock_guard guard(DeviceManager::instance());
    EXPECT_TRUE(DeviceManager::instance().devices().empty());
    EXPECT_FALSE(errorLogged()) << ::testing::PrintToString(log.texts());
}

TEST_F(WindowsDeviceLayer, NoticesOfTheControlClassArriveAndDepartByPathAndOthersAreIgnored) {
    test::PipeServer notADriver;
    const std::string path = boost::locale::conv::utf_to_utf<char>(notADriver.path());
    GUID otherClass = controlInterfaceClass;
    otherClass.Data1 ^= 1;
    sendNotice(DBT_DEVICEARRIVAL, otherClass, notADriver.path());
    sendNotice(DBT_DEVICEQUERYREMOVE, controlInterfaceClass, notADriver.path());
    sendNotice(DBT_DEVICEARRIVAL, controlInterfaceClass, notADriver.path());
    // The arrival opened the path: the pipe answers no device control.
    ASSERT_TRUE(eventually([&] {
        return log.contains(LogLevel::error,
                            "Error initializing Device, reason: Error retrieving driver information");
    }));
    sendNotice(DBT_DEVICEREMOVECOMPLETE, controlInterfaceClass, L"\\\\.\\PIPE\\Gone");
    ASSERT_TRUE(
        eventually([&] { return log.contains(LogLevel::info, "Device departure: \\\\.\\PIPE\\Gone"); }));
    std::vector<std::string> notices;
    for (const auto& text : log.texts()) {
        if (text.starts_with("Device arrival") || text.starts_with("Device departure")) {
            notices.push_back(text);
        }
    }
    EXPECT_EQ(notices,
              (std::vector<std::string>{"Device arrival: " + path, "Device departure: \\\\.\\PIPE\\Gone"}));
}

// Plays a sequence on the worker when its event is set, as a press would.
class SequenceStarter {
public:
    explicit SequenceStarter(const nlohmann::json& steps)
        : steps_(std::make_shared<const SequenceSteps>(sequenceStepsFromJson(steps))) {}
    ~SequenceStarter() { ::CloseHandle(event_); }
    WaitHandle handle() const { return reinterpret_cast<WaitHandle>(event_); }
    void start() const { ::SetEvent(event_); }
    void play() {
        ::ResetEvent(event_);
        sequencePlayer().play(steps_, this);
    }

private:
    HANDLE event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::shared_ptr<const SequenceSteps> steps_;
};

TEST_F(WindowsDeviceLayer, ASequencesPauseEndsOnTheWorkersTimerWithoutHoldingTheWorker) {
    auto& manager = DeviceManager::instance();
    SequenceStarter starter(nlohmann::json::array({{{"type", "keyDown"}, {"keyCode", 0x41}},
                                                   {{"type", "pause"}, {"ms", 300}},
                                                   {{"type", "keystroke"}, {"keyCode", 0x42}}}));
    manager.addWaitHandler(starter.handle(), &starter, &SequenceStarter::play);
    const auto keyCalls = [&] {
        std::lock_guard guard(manager);
        std::vector<test::PlatformCall> keys;
        for (const auto& call : platform->inputCalls()) {
            if (call.operation == "sendKeystroke") {
                keys.push_back(call);
            }
        }
        return keys;
    };
    const auto started = std::chrono::steady_clock::now();
    starter.start();
    ASSERT_TRUE(eventually([&] { return keyCalls().size() == 1; }));
    // The worker is free during the pause: a device notice is handled at once.
    sendNotice(DBT_DEVICEREMOVECOMPLETE, controlInterfaceClass, L"\\\\.\\PIPE\\During");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms);
    ASSERT_TRUE(eventually([&] { return keyCalls().size() == 4; }));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
    EXPECT_EQ(keyCalls(), (std::vector<test::PlatformCall>{
                              {"sendKeystroke", nlohmann::json::array({0, 0x41, true, false})},
                              {"sendKeystroke", nlohmann::json::array({0, 0x42, true, false})},
                              {"sendKeystroke", nlohmann::json::array({0, 0x42, false, false})},
                              {"sendKeystroke", nlohmann::json::array({0, 0x41, false, false})}}));
    // The worker goes before the handle it waits on.
    DeviceManager::destroyDeviceManager();
}

// What the installer records is what the page shows; an installer that
// recorded nothing leaves the driver's service key to decide.
TEST(WindowsDriverPresence, TheInstallersRecordDecidesAndElseTheDriversServiceKey) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, installerKey, 0, nullptr, 0,
                                KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const auto record = [&](const std::wstring& text) {
        ::RegSetValueExW(key, driverInstallErrorValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    };
    WindowsWaitPrimitive waits;
    WindowsDeviceNotices notices(waits);
    record(L"pnputil answered 5 (access denied).");
    EXPECT_EQ(notices.missingDriver(), "The trackball driver is not installed: pnputil answered 5 (access "
                                       "denied). Run the Ombrix installer again as an administrator.");
    record(L"");
    EXPECT_EQ(notices.missingDriver(), "");
    ::RegDeleteValueW(key, driverInstallErrorValue);
    ::RegCloseKey(key);
    EXPECT_EQ(notices.missingDriver(),
              "The trackball driver is not installed. Run the Ombrix installer again as an administrator.")
        << "Wine has no obxkern service";
}

void sendKey(WORD key, bool down) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    ::SendInput(1, &input, sizeof input);
}

TEST(WindowsDesktopQueries, TheForegroundWindowsProgramLowerCasedAndTheHeldModifiers) {
    test::ProbeWindow window;
    ASSERT_TRUE(window.takeForeground());
    WindowsDesktopQueries queries;
    EXPECT_EQ(queries.foregroundWindow(), reinterpret_cast<std::uintptr_t>(window.handle()));

    std::wstring own(MAX_PATH, L'\0');
    own.resize(::GetModuleFileNameW(nullptr, own.data(), MAX_PATH));
    for (auto& unit : own) {
        unit = static_cast<wchar_t>(std::towlower(unit));
    }
    EXPECT_EQ(queries.foregroundApplicationPath(), boost::locale::conv::utf_to_utf<char>(own));

    EXPECT_EQ(queries.pressedModifiers(), 0u);
    sendKey(VK_CONTROL, true);
    sendKey(VK_SHIFT, true);
    EXPECT_TRUE(eventually(
        [&] { return queries.pressedModifiers() == (desktopModifierCtrl | desktopModifierShift); }));
    sendKey(VK_LWIN, true); // never reported
    sendKey(VK_MENU, true);
    sendKey(VK_SHIFT, false);
    EXPECT_TRUE(
        eventually([&] { return queries.pressedModifiers() == (desktopModifierCtrl | desktopModifierAlt); }));
    for (WORD key : {VK_LWIN, VK_MENU, VK_CONTROL}) {
        sendKey(key, false);
    }
    EXPECT_TRUE(eventually([&] { return queries.pressedModifiers() == 0u; }));
}

} // namespace
} // namespace obx::windows
