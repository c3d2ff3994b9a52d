#include "platform/windows/shell/WindowsShellPlatform.h"

#include "catalogue/ProgramCatalogue.h"
#include "devices/DeviceManager.h"
#include "platform/ProgramPath.h"
#include "platform/windows/actions/WinPlatformServices.h"
#include "platform/windows/catalogue/WindowsCataloguePlatform.h"
#include "platform/windows/devices/WindowsFileChangeWatch.h"
#include "platform/windows/shell/WindowsAppWindow.h"
#include "server/CommandServer.h"
#include "shell/ConfigurationPage.h"

#include <filesystem>
#include <objbase.h>
#include <shellapi.h>
#include <string>
#include <system_error>

namespace obx {

std::unique_ptr<ShellPlatform> makeShellPlatform() {
    return std::make_unique<windows::WindowsShellPlatform>();
}

namespace windows {

void WindowsShellPlatform::askRunningInstanceToQuit(std::chrono::milliseconds timeout) {
    HWND window = ::FindWindowW(appWindowClassName, nullptr);
    if (!window) {
        return;
    }
    DWORD processId = 0;
    const DWORD windowThread = ::GetWindowThreadProcessId(window, &processId);
    const DWORD thisThread = ::GetCurrentThreadId();
    const bool attached = ::AttachThreadInput(thisThread, windowThread, TRUE);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    if (attached) {
        ::AttachThreadInput(thisThread, windowThread, FALSE);
    }
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process) {
        ::WaitForSingleObject(process, static_cast<DWORD>(timeout.count()));
        ::CloseHandle(process);
    }
}

void WindowsShellPlatform::launchConfigurationApp() {
    const auto program = runningExecutablePath().parent_path() / L"Quellane2.exe";
    std::error_code error;
    if (!std::filesystem::is_regular_file(program, error)) {
        const auto address = configurationPageAddress(commandServerPort());
        ::ShellExecuteW(nullptr, L"open", std::wstring(address.begin(), address.end()).c_str(), nullptr,
                        nullptr, SW_SHOWNORMAL);
        return;
    }
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                         nullptr, &startup, &started)) {
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
    }
}

std::unique_ptr<IAppWindow> WindowsShellPlatform::claimInstance() {
    if (::FindWindowW(appWindowClassName, nullptr)) {
        return nullptr;
    }
    return std::make_unique<WindowsAppWindow>([this] { launchConfigurationApp(); });
}

unsigned long WindowsShellPlatform::runningInstanceId() {
    DWORD processId = 0;
    if (HWND window = ::FindWindowW(appWindowClassName, nullptr)) {
        ::GetWindowThreadProcessId(window, &processId);
    }
    return processId;
}

bool WindowsShellPlatform::installDesktop() {
    // Every Windows session has its desktop.
    setPlatformServicesFactory([] { return std::make_unique<WinPlatformServices>(); });
    setDeviceLayerPlatformFactory(makeWindowsDeviceLayerPlatform);
    setProgramCatalogueFactory(
        [] { return std::make_unique<ProgramCatalogue>(std::make_unique<WindowsCataloguePlatform>()); });
    return true;
}

void WindowsShellPlatform::initializeComponentModel() {
    comInitialized_ = SUCCEEDED(::CoInitialize(nullptr));
}

void WindowsShellPlatform::uninitializeComponentModel() {
    if (comInitialized_) {
        ::CoUninitialize();
        comInitialized_ = false;
    }
}

} // namespace windows

} // namespace obx
