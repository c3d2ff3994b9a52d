#include "platform/linux/devices/LinuxDeviceNotices.h"

#include "base/Log.h"
#include "base/MsgWFMOHandler.h"
#include "platform/linux/devices/LinuxDriverChannel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <system_error>
#include <unistd.h>

namespace obx {

namespace {

constexpr const char* controlPrefix = "control-";

// The eventfd that the SIGHUP handler signals; -1 while none is installed.
std::atomic<int> hangupTarget{-1};
struct sigaction previousHangup {};

void onHangupSignal(int) {
    const int fd = hangupTarget.load();
    if (fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    }
}

// The instance number of a control socket's name; -1 for any other name.
long controlInstance(const std::string& name) {
    if (!name.starts_with(controlPrefix)) {
        return -1;
    }
    const auto digits = name.substr(std::strlen(controlPrefix));
    if (digits.size() < 2 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return -1;
    }
    return std::strtol(digits.c_str(), nullptr, 10);
}

} // namespace

LinuxDeviceNotices::LinuxDeviceNotices(std::filesystem::path folder) : folder_(std::move(folder)) {}

LinuxDeviceNotices::~LinuxDeviceNotices() {
    stopNotices();
}

std::string LinuxDeviceNotices::missingDriver() {
    std::error_code ignored;
    if (std::filesystem::is_directory(folder_, ignored)) {
        return {};
    }
    return "No trackball driver answers: obxkernd is not running (" + folder_.string() +
           " is missing). Start it with: sudo systemctl enable --now obxkernd";
}

std::vector<std::string> LinuxDeviceNotices::controlNames() const {
    std::vector<std::pair<long, std::string>> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        auto name = entry.path().filename().string();
        if (const auto instance = controlInstance(name); instance >= 0) {
            found.emplace_back(instance, std::move(name));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [instance, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> LinuxDeviceNotices::presentDevices() {
    std::vector<std::string> paths;
    for (const auto& name : controlNames()) {
        known_.insert(name);
        paths.push_back((folder_ / name).string());
    }
    return paths;
}

std::unique_ptr<IDriverChannel> LinuxDeviceNotices::channelFor(const std::string& path) {
    return std::make_unique<LinuxDriverChannel>(path);
}

void LinuxDeviceNotices::startNotices(MsgWFMOHandler& worker) {
    worker_ = &worker;
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    hangup_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (inotify_ < 0 || hangup_ < 0) {
        throw std::system_error(errno, std::generic_category(), "device notices");
    }
    parentWatch_ =
        ::inotify_add_watch(inotify_, folder_.parent_path().c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
    if (parentWatch_ < 0) {
        log(LogLevel::warning, "Cannot watch for the runtime folder ", folder_.string(), ": ",
            std::strerror(errno));
    }
    watchFolder();
    worker.addWaitHandler(inotify_, this, &LinuxDeviceNotices::onFolderEvents);
    worker.addWaitHandler(hangup_, this, &LinuxDeviceNotices::onHangup);
    hangupTarget = hangup_;
    struct sigaction action {};
    action.sa_handler = onHangupSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGHUP, &action, &previousHangup);
}

void LinuxDeviceNotices::stopNotices() {
    if (worker_ == nullptr) {
        return;
    }
    ::sigaction(SIGHUP, &previousHangup, nullptr);
    hangupTarget = -1;
    worker_->removeWaitHandler(inotify_);
    worker_->removeWaitHandler(hangup_);
    ::close(inotify_);
    ::close(hangup_);
    inotify_ = hangup_ = parentWatch_ = folderWatch_ = -1;
    worker_ = nullptr;
}

void LinuxDeviceNotices::watchFolder() {
    if (folderWatch_ >= 0) {
        return;
    }
    folderWatch_ =
        ::inotify_add_watch(inotify_, folder_.c_str(),
                            IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB | IN_ONLYDIR);
    if (folderWatch_ < 0) {
        return; // not there yet: the parent's watch reports its creation
    }
    // Sockets made before the watch existed.
    for (const auto& name : controlNames()) {
        arrived(name);
    }
}

void LinuxDeviceNotices::arrived(const std::string& name) {
    if (known_.insert(name).second) {
        worker_->postMessage({deviceChangeMessage, deviceArrivalEvent, (folder_ / name).string()});
    }
}

void LinuxDeviceNotices::departed(const std::string& name) {
    if (known_.erase(name) != 0) {
        worker_->postMessage({deviceChangeMessage, deviceRemoveCompleteEvent, (folder_ / name).string()});
    }
}

// obxkernd gives a real trackball's socket to the user at the seat and closes
// the connections of the user who left: the device leaves that user's helper
// and comes again (opened anew) to the helper of whoever may connect now.
void LinuxDeviceNotices::changedHands(const std::string& name) {
    departed(name);
    if (::faccessat(AT_FDCWD, (folder_ / name).c_str(), W_OK, AT_EACCESS) == 0) {
        arrived(name);
    }
}

void LinuxDeviceNotices::onFolderEvents() {
    alignas(inotify_event) std::array<char, 4096> buffer;
    for (;;) {
        const auto length = ::read(inotify_, buffer.data(), buffer.size());
        if (length <= 0) {
            return;
        }
        for (long offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += static_cast<long>(sizeof(inotify_event) + event->len);
            const std::string name = event->len > 0 ? event->name : "";
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                rescan();
            } else if (event->wd == parentWatch_ && name == folder_.filename().string()) {
                watchFolder();
            } else if (event->wd == folderWatch_ && (event->mask & IN_IGNORED) != 0) {
                // The folder went with everything in it.
                folderWatch_ = -1;
                for (const auto& gone : std::set<std::string>(known_)) {
                    departed(gone);
                }
            } else if (event->wd == folderWatch_ && controlInstance(name) >= 0) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
                    arrived(name);
                } else if ((event->mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
                    departed(name);
                } else if ((event->mask & IN_ATTRIB) != 0) {
                    changedHands(name);
                }
            }
        }
    }
}

void LinuxDeviceNotices::rescan() {
    log(LogLevel::warning, "Device notices overflowed; rescanning ", folder_.string());
    const auto names = controlNames();
    for (const auto& gone : std::set<std::string>(known_)) {
        if (std::find(names.begin(), names.end(), gone) == names.end()) {
            departed(gone);
        }
    }
    // Watched again: a folder made anew while notices were lost has another
    // watch. Announces what the folder holds.
    folderWatch_ = -1;
    watchFolder();
}

void LinuxDeviceNotices::onHangup() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto taken = ::read(hangup_, &count, sizeof count);
    log(LogLevel::info, "Reload requested by SIGHUP");
    worker_->postMessage({reloadSettingsMessage, 0, {}});
}

} // namespace obx
