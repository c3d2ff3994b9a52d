#include "platform/windows/devices/WindowsDeviceNotices.h"

#include "base/Log.h"
#include "base/MsgWFMOHandler.h"
#include "driver/shared/ObxControl.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"
#include "platform/windows/devices/WindowsDriverChannel.h"

#include <boost/locale/encoding_utf.hpp>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

// <windows.h> first: the device headers build on it.
// clang-format off
#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
// clang-format on

namespace obx::windows {

namespace {

const OBX_GUID controlClassRecord = OBX_GUID_DEVINTERFACE_OBX_CONTROL_INIT;

std::string toUtf8(const std::wstring& text) {
    return boost::locale::conv::utf_to_utf<char>(text);
}

// Ends a device information set however enumeration ends.
struct InfoSet {
    HDEVINFO set;
    ~InfoSet() {
        if (set != INVALID_HANDLE_VALUE) {
            ::SetupDiDestroyDeviceInfoList(set);
        }
    }
};

// A string value of HKEY_LOCAL_MACHINE, at most valueLimit characters; none
// when the key or the value does not exist.
constexpr DWORD valueLimit = 512;

std::optional<std::wstring> machineString(const wchar_t* key, const wchar_t* name) {
    std::wstring text(valueLimit + 1, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LSTATUS status = ::RegGetValueW(
        HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, text.data(), &bytes);
    if (status == ERROR_MORE_DATA) {
        return L"(the recorded reason is too long to show)";
    }
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.data(), bytes / sizeof(wchar_t)));
    return text;
}

bool machineKeyExists(const wchar_t* key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(opened);
    return true;
}

constexpr const char* reinstallStep = "Run the Ombrix installer again as an administrator.";

} // namespace

std::string WindowsDeviceNotices::missingDriver() {
    if (const auto recorded = machineString(installerKey, driverInstallErrorValue)) {
        return recorded->empty()
                   ? std::string{}
                   : "The trackball driver is not installed: " + toUtf8(*recorded) + " " + reinstallStep;
    }
    if (machineKeyExists(driverServiceKey)) {
        return {};
    }
    return std::string("The trackball driver is not installed. ") + reinstallStep;
}

const GUID controlInterfaceClass = [] {
    GUID guid;
    static_assert(sizeof guid == sizeof controlClassRecord);
    std::memcpy(&guid, &controlClassRecord, sizeof guid);
    return guid;
}();

WindowsDeviceNotices::WindowsDeviceNotices(WindowsWaitPrimitive& waits, const GUID& interfaceClass)
    : waits_(waits), handles_(waits), interfaceClass_(interfaceClass) {}

WindowsDeviceNotices::~WindowsDeviceNotices() {
    stopNotices();
}

std::vector<std::string> WindowsDeviceNotices::presentDevices() {
    std::vector<std::string> paths;
    const InfoSet devices{
        ::SetupDiGetClassDevsW(&interfaceClass_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
    if (devices.set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    std::vector<std::uint8_t> detailBytes;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!::SetupDiEnumDeviceInterfaces(devices.set, nullptr, &interfaceClass_, index, &interfaceData)) {
            break;
        }
        DWORD required = 0;
        if (!::SetupDiGetDeviceInterfaceDetailW(devices.set, &interfaceData, nullptr, 0, &required,
                                                nullptr) &&
            ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            break;
        }
        detailBytes.assign(required, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBytes.data());
        // The size of the record's fixed part, not of the buffer.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(devices.set, &interfaceData, detail, required, nullptr,
                                                nullptr)) {
            break;
        }
        paths.push_back(toUtf8(detail->DevicePath));
    }
    return paths;
}

std::unique_ptr<IDriverChannel> WindowsDeviceNotices::channelFor(const std::string& path) {
    return std::make_unique<WindowsDriverChannel>(boost::locale::conv::utf_to_utf<wchar_t>(path),
                                                  WindowsDriverChannel::defaultControlTimeout, &handles_);
}

void WindowsDeviceNotices::startNotices(MsgWFMOHandler& worker) {
    worker_ = &worker;
    waits_.setDeviceChangeListener([this](WPARAM event, LPARAM record) { onDeviceChange(event, record); });
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = interfaceClass_;
    // Notices of every class arrive; onDeviceChange keeps those of ours.
    notification_ = ::RegisterDeviceNotificationW(
        waits_.window(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    if (!notification_) {
        // The trackballs present now are served all the same.
        log(LogLevel::warning, "Cannot register for device notices, error ", ::GetLastError(),
            ": trackballs that arrive later are not found");
    }
}

void WindowsDeviceNotices::stopNotices() {
    if (notification_) {
        ::UnregisterDeviceNotification(notification_);
        notification_ = nullptr;
    }
    if (worker_) {
        waits_.setDeviceChangeListener({});
        worker_ = nullptr;
    }
}

void WindowsDeviceNotices::onDeviceChange(WPARAM event, LPARAM record) {
    if (record == 0 || !worker_) {
        return;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
    if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        // The worker lock: an HTTP request may be using the channel whose handle closes.
        std::lock_guard guard(*worker_);
        if (auto message = handles_.onNotice(event, *header)) {
            worker_->postMessage(std::move(*message));
        }
        return;
    }
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) {
        return;
    }
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
        return;
    }
    const auto* notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(record);
    if (!::IsEqualGUID(notice->dbcc_classguid, interfaceClass_)) {
        return;
    }
    // The name runs to the end of the record; never read past it.
    const auto units =
        (notice->dbcc_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
    const std::wstring name(notice->dbcc_name, wcsnlen(notice->dbcc_name, units));
    worker_->postMessage({deviceChangeMessage,
                          event == DBT_DEVICEARRIVAL ? deviceArrivalEvent : deviceRemoveCompleteEvent,
                          toUtf8(name)});
}

} // namespace obx::windows
