// obxsvc on Linux: a systemd user service that invites the user, once, to
// download the configuration utility; "-showpopup" and "-gotoweb" are its
// actions in the user's desktop.

#include "platform/ProgramPath.h"
#include "service/NotifyService.h"
#include "service/ServiceOptions.h"
#include "service/linux/DesktopSession.h"
#include "service/linux/LinuxServiceLog.h"
#include "service/linux/NotificationPopup.h"
#include "service/linux/StateFile.h"
#include "service/linux/StopRequests.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <systemd/sd-daemon.h>

namespace {

using namespace obx;

// The user's service manager learns when the service is up and when it
// stops; in the console nobody is told.
class SystemdStatus : public ServiceStatusReporter {
public:
    explicit SystemdStatus(bool report) : report_(report) {}
    void reportRunning() override {
        if (report_) {
            sd_notify(0, "READY=1");
        }
    }
    void reportStopPending() override {
        if (report_) {
            sd_notify(0, "STOPPING=1");
        }
    }

private:
    bool report_;
};

int runService(ServiceLog& log, bool console) {
    const auto program = runningExecutablePath();
    linuxos::StateFile record(
        linuxos::StateFile::defaultPath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
    linuxos::InstalledCheck product(program.parent_path());
    linuxos::SessionPopupStarter starter(program, log);
    SystemClock clock;
    NotifySequence sequence(record, product, starter, clock, log);
    SystemdStatus status(!console);
    StopEvent stopEvent;
    NotifyService service(sequence, status, log, stopEvent);
    if (console) {
        std::fputs("Press Ctrl+C or Ctrl+Break to quit...\n", stdout);
        std::fflush(stdout);
    }
    linuxos::StopRequests stopRequests([&service] { service.stop(); });
    return service.run();
}

int showPopup(ServiceLog& log) {
    BuiltInStrings strings;
    const auto texts = choosePopupTexts(strings, linuxos::preferredDisplayLanguage());
    linuxos::XdgPageOpener opener;
    linuxos::NotificationPopup host;
    PopupController controller(host, opener, log);
    controller.start(texts);
    host.run(controller);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    linuxos::LinuxServiceLogFile logFile;
    ServiceLog log(logFile);
    std::string commandLine;
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        commandLine += (i ? " " : "") + std::string(argv[i]);
        if (i > 0) {
            arguments.emplace_back(argv[i]);
        }
    }
    log.write(1, "QL Downloader service - command line: %s\n", commandLine.c_str());
    try {
        switch (parseServiceMode(arguments)) {
        case ServiceMode::goToWeb: {
            linuxos::XdgPageOpener opener;
            openProductPage(opener, log);
            return 0;
        }
        case ServiceMode::showPopup:
            return showPopup(log);
        case ServiceMode::console:
            return runService(log, true);
        case ServiceMode::service:
            return runService(log, false);
        }
    } catch (const std::exception& error) {
        log.write(4, "obxsvc - %s\n", error.what());
    }
    return 1;
}
