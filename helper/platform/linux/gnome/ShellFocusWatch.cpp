#include "platform/linux/gnome/ShellFocusWatch.h"

#include "base/Log.h"
#include "base/StatusNotices.h"
#include "platform/linux/gnome/ExtensionNotice.h"
#include "platform/linux/shell/BusPeers.h"
#include "platform/linux/shell/SdBusLoop.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace obx::gnome {

namespace {

constexpr int reconnectPauseMs = 500;
constexpr const char* noticeSource = "gnome";
constexpr std::uint64_t callTimeoutUs = 2'000'000;
// App ids are reverse domain names; a longer one is no app id.
constexpr std::size_t appIdLimit = 255;

std::string ownerRule(const char* name) {
    return std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                       "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
           name + "'";
}
// The extension sends the signal to the helper's connections alone; whoever
// sent it, only the Shell's own connection is believed.
const std::string focusRule = std::string("type='signal',path='") + bridgeObjectPath + "',interface='" +
                              bridgeInterface + "',member='FocusChanged'";

ShellFocusWatch& self(void* data) {
    return *static_cast<ShellFocusWatch*>(data);
}

} // namespace

ShellFocusWatch::ShellFocusWatch() : stopEvent_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (stopEvent_ < 0) {
        throw std::runtime_error("cannot create the focus watch's stop event");
    }
    thread_ = std::thread([this] {
        try {
            run();
        } catch (const std::exception& error) {
            // Only memory running out gets here: the focus stays unknown.
            log(LogLevel::error, "ShellFocusWatch - stopped: ", error.what());
            publish(std::nullopt);
        }
    });
}

ShellFocusWatch::~ShellFocusWatch() {
    eventfd_write(stopEvent_, 1);
    thread_.join();
    ::close(stopEvent_);
}

std::optional<ShellFocus> ShellFocusWatch::focus() const {
    const std::lock_guard lock(mutex_);
    return focus_;
}

bool ShellFocusWatch::bridgeRunning() const {
    return focus().has_value();
}

bool ShellFocusWatch::waitFor(const std::function<bool(const std::optional<ShellFocus>&)>& condition,
                              std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(focus_); });
}

void ShellFocusWatch::run() {
    pollfd stop{stopEvent_, POLLIN, 0};
    do {
        sd_bus* bus = nullptr;
        const int result = sd_bus_open_user(&bus);
        if (result >= 0) {
            sd_bus_set_method_call_timeout(bus, callTimeoutUs);
            serve(bus);
            sd_bus_flush_close_unref(bus);
            publish(std::nullopt);
        } else {
            log(LogLevel::debug, "ShellFocusWatch - no session bus: ", std::strerror(-result));
        }
    } while (poll(&stop, 1, reconnectPauseMs) == 0 || (stop.revents & POLLIN) == 0);
}

void ShellFocusWatch::serve(sd_bus* bus) {
    sd_bus_slot* ownerSlot = nullptr;
    sd_bus_slot* shellSlot = nullptr;
    sd_bus_slot* focusSlot = nullptr;
    int result = sd_bus_add_match(bus, &ownerSlot, ownerRule(bridgeBusName).c_str(), &onOwnerChanged, this);
    if (result >= 0) {
        result =
            sd_bus_add_match(bus, &shellSlot, ownerRule(shellBusName).c_str(), &onShellOwnerChanged, this);
    }
    if (result >= 0) {
        result = sd_bus_add_match(bus, &focusSlot, focusRule.c_str(), &onFocusSignal, this);
    }
    if (result < 0) {
        if (!matchRefusalLogged_) {
            log(LogLevel::warning,
                "ShellFocusWatch - the session bus refused to pass on GNOME Shell's signals: ",
                std::strerror(-result));
            matchRefusalLogged_ = true;
        }
    } else {
        shell_ = linuxos::nameOwner(bus, shellBusName);
        askFocus(bus);
        for (;;) {
            pollfd fds[2] = {linuxos::busDescriptor(bus), {stopEvent_, POLLIN, 0}};
            if (poll(fds, 2, linuxos::busTimeoutMs(bus)) < 0 && errno != EINTR) {
                break;
            }
            if (fds[1].revents & POLLIN) {
                break;
            }
            if (!linuxos::processBus(bus)) {
                log(LogLevel::warning, "ShellFocusWatch - the session bus ended the connection");
                break;
            }
        }
    }
    sd_bus_slot_unref(focusSlot);
    sd_bus_slot_unref(shellSlot);
    sd_bus_slot_unref(ownerSlot);
}

void ShellFocusWatch::askFocus(sd_bus* bus) {
    if (shell_.empty()) {
        absent(bus, "GNOME Shell is not on the session bus");
        return;
    }
    sd_bus_call_method_async(bus, nullptr, shell_.c_str(), bridgeObjectPath, bridgeInterface, "GetFocus",
                             &onFocusReply, this, "");
}

void ShellFocusWatch::publish(std::optional<ShellFocus> focus) {
    {
        const std::lock_guard lock(mutex_);
        focus_ = std::move(focus);
    }
    changed_.notify_all();
}

void ShellFocusWatch::readFocus(sd_bus_message* message) {
    std::uint32_t pid = 0;
    const char* appId = nullptr;
    std::uint64_t window = 0;
    if (sd_bus_message_read(message, "ust", &pid, &appId, &window) < 0) {
        log(LogLevel::warning, "ShellFocusWatch - GNOME Shell's bridge sent a focus of another form");
        return;
    }
    ShellFocus focus;
    focus.pid = pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
    if (std::strlen(appId) <= appIdLimit) {
        focus.appId = appId;
    }
    focus.window = window;
    publish(std::move(focus));
    showNotice({});
}

int ShellFocusWatch::onFocusSignal(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& watch = self(data);
    if (linuxos::sentBy(message, watch.shell_)) {
        watch.readFocus(message);
    }
    return 0;
}

int ShellFocusWatch::onFocusReply(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& watch = self(data);
    if (const sd_bus_error* error = sd_bus_message_get_error(message)) {
        watch.absent(sd_bus_message_get_bus(message), error->message ? error->message : error->name);
        return 0;
    }
    watch.readFocus(message);
    return 0;
}

void ShellFocusWatch::absent(sd_bus* bus, const std::string& why) {
    if (!absenceLogged_) {
        log(LogLevel::warning, "GNOME Shell's bridge extension (", extensionUuid,
            ") does not answer: the focused program is unknown and window commands do nothing until it runs "
            "(",
            why, ")");
        absenceLogged_ = true;
    }
    publish(std::nullopt);
    showNotice(extensionNotice(extensionFacts(bus, shell_)));
}

void ShellFocusWatch::showNotice(const std::string& text) {
    if (text == notice_) {
        return;
    }
    notice_ = text;
    if (!text.empty()) {
        log(LogLevel::warning, text);
    }
    StatusNotices::instance().set(noticeSource, text);
}

int ShellFocusWatch::onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& watch = self(data);
    const char* name = nullptr;
    const char* previous = nullptr;
    const char* owner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &previous, &owner) < 0) {
        return 0;
    }
    if (*owner == '\0') {
        log(LogLevel::info, "GNOME Shell's bridge extension left the session bus");
        watch.absent(sd_bus_message_get_bus(message), "it left the session bus");
    } else if (owner == watch.shell_) {
        log(LogLevel::info, "GNOME Shell's bridge extension is on the session bus");
        watch.askFocus(sd_bus_message_get_bus(message));
    } else {
        log(LogLevel::warning, "Another program than GNOME Shell (", owner, ") took the name ", bridgeBusName,
            ": it is told nothing");
        watch.absent(sd_bus_message_get_bus(message), "another program holds its name");
    }
    return 0;
}

int ShellFocusWatch::onShellOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& watch = self(data);
    const char* name = nullptr;
    const char* previous = nullptr;
    const char* owner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &previous, &owner) >= 0) {
        watch.shell_ = owner;
        watch.askFocus(sd_bus_message_get_bus(message));
    }
    return 0;
}

} // namespace obx::gnome
