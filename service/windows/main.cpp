// obxsvc on Windows: the service that invites the user, once, to download
// the configuration utility, and the program it starts in the user's session.

#include "service/ServiceOptions.h"
#include "service/windows/MyService.h"
#include "service/windows/PopupWindow.h"
#include "service/windows/WinServiceLog.h"
#include "service/windows/WinText.h"

#include <cstdio>
#include <exception>
#include <shellapi.h>

namespace {

using namespace obx;

win::WinServiceLogFile logFile;
ServiceLog serviceLog(logFile);
// The one service object, reached by the dispatcher's and the console's
// callbacks.
win::MyService* service = nullptr;

void WINAPI serviceMain(DWORD, LPWSTR*) {
    service->serviceMain();
}

BOOL WINAPI consoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        service->stop();
        return TRUE;
    default:
        return FALSE;
    }
}

std::vector<std::string> commandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    if (LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count)) {
        // The first is the program's own path.
        for (int i = 1; i < count; ++i) {
            arguments.push_back(win::narrow(list[i]));
        }
        LocalFree(list);
    }
    return arguments;
}

int runService(bool console) {
    win::MyService instance(serviceLog);
    service = &instance;
    if (console) {
        std::fputs("Press Ctrl+C or Ctrl+Break to quit...\n", stdout);
        std::fflush(stdout);
        instance.setConsole(true);
        SetConsoleCtrlHandler(consoleHandler, TRUE);
        instance.serviceMain();
        return 0;
    }
    std::wstring name = instance.name();
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), serviceMain}, {nullptr, nullptr}};
    // Started by hand rather than by the service manager: nothing to do.
    StartServiceCtrlDispatcherW(table);
    return 0;
}

} // namespace

int main() {
    serviceLog.write(1, "QL Downloader service - command line: %s\n", win::narrow(GetCommandLineW()).c_str());
    try {
        switch (parseServiceMode(commandLineArguments())) {
        case ServiceMode::goToWeb: {
            win::ExplorerPageOpener opener;
            openProductPage(opener, serviceLog);
            return 0;
        }
        case ServiceMode::showPopup:
            return win::runPopupWindow(GetModuleHandleW(nullptr), serviceLog);
        case ServiceMode::console:
            return runService(true);
        case ServiceMode::service:
            return runService(false);
        }
    } catch (const std::exception& error) {
        serviceLog.write(4, "obxsvc - %s\n", error.what());
    }
    return 1;
}
