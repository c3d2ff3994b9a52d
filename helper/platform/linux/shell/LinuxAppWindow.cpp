#include "platform/linux/shell/LinuxAppWindow.h"

#include "base/Log.h"
#include "platform/linux/desktop/DesktopNotification.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace obx::linuxos {

// Requests queued from any handler of the main thread and run by the loop.
class LinuxAppWindow::LaunchRequests : public PollSource {
public:
    explicit LaunchRequests(std::function<void()> launch)
        : launch_(std::move(launch)), fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), "eventfd");
        }
    }
    ~LaunchRequests() override { ::close(fd_); }

    void post() {
        const std::uint64_t one = 1;
        (void)!::write(fd_, &one, sizeof one);
    }

    void addDescriptors(std::vector<pollfd>& fds) override { fds.push_back({fd_, POLLIN, 0}); }

    void handle(std::span<const pollfd> fds) override {
        std::uint64_t count = 0;
        if ((fds[0].revents & POLLIN) && ::read(fd_, &count, sizeof count) == sizeof count) {
            launch_();
        }
    }

private:
    std::function<void()> launch_;
    int fd_;
};

LinuxAppWindow::LinuxAppWindow(std::unique_ptr<InstanceListener> instance,
                               std::function<void()> launchConfigurationApp)
    : instance_(std::move(instance)),
      launchRequests_(std::make_unique<LaunchRequests>(std::move(launchConfigurationApp))) {}

LinuxAppWindow::~LinuxAppWindow() = default;

bool LinuxAppWindow::create(ISessionEventSink& sink) {
    logind_ = std::make_unique<LogindWatch>(sink);
    trayDisplay_ = std::make_unique<StatusNotifierDisplay>();
    return true;
}

ITrayIconDisplay& LinuxAppWindow::trayIconDisplay() {
    return *trayDisplay_;
}

bool LinuxAppWindow::showNotification(const CTrayIcon&, const std::string& title, const std::string& body) {
    return linuxos::showDesktopNotification(title, body);
}

void LinuxAppWindow::postLaunchRequest() {
    launchRequests_->post();
}

bool LinuxAppWindow::trackTrayMenu(const std::u16string&) {
    // The panel has shown the menu already; the entry, when chosen, is what
    // reported the click.
    return trayDisplay_->takeMenuChoice();
}

void LinuxAppWindow::runMessageLoop() {
    PollSource* sources[] = {instance_.get(), &stopSignals_, launchRequests_.get(), trayDisplay_.get(),
                             logind_.get()};
    const std::size_t count = logind_ ? 5 : 3;
    runPollLoop(std::span(sources, count),
                [this] { return !instance_->quitRequested() && !stopSignals_.received(); });
    logText(LogLevel::debug, "LinuxAppWindow - main loop ended");
}

} // namespace obx::linuxos
