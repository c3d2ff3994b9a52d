#include "platform/linux/wayland/ForeignToplevels.h"

#include "base/Log.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wayland-client.h>

namespace obx::wayland {

namespace {

constexpr std::uint32_t newestManagerVersion = 3;
constexpr auto reconnectPause = std::chrono::milliseconds(500);
constexpr auto answerWait = std::chrono::milliseconds(2000);

pid_t peerPid(wl_display* display) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(wl_display_get_fd(display), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return 0;
    }
    return credentials.pid;
}

} // namespace

// One connection to the compositor: the registry, the manager and a handle
// per window. Lives on the tracker's thread only.
class ForeignToplevels::Session {
public:
    Session(ForeignToplevels& owner, wl_display* display) : owner_(owner), display_(display) {
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &registryListener, this);
    }

    ~Session() {
        for (auto& [proxy, handle] : handles_) {
            zwlr_foreign_toplevel_handle_v1_destroy(proxy);
        }
        if (manager_) {
            zwlr_foreign_toplevel_manager_v1_destroy(manager_);
        }
        wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Learns the globals and the windows there are now; false when the
    // connection failed or the compositor has no foreign-toplevel manager.
    bool start() {
        if (!boundedRoundtrip(display_, answerWait) || !manager_) {
            return false;
        }
        return boundedRoundtrip(display_, answerWait);
    }

    // Handles events and requests until the connection fails, the
    // compositor ends the list or the tracker stops.
    void serve() {
        pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {owner_.wakeFd_, POLLIN, 0}};
        while (!owner_.stopping_ && manager_) {
            while (wl_display_prepare_read(display_) != 0) {
                if (wl_display_dispatch_pending(display_) < 0) {
                    return;
                }
            }
            sendRequests();
            if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
                wl_display_cancel_read(display_);
                return;
            }
            fds[0].revents = fds[1].revents = 0;
            if (poll(fds, 2, -1) < 0 && errno != EINTR) {
                wl_display_cancel_read(display_);
                return;
            }
            if (fds[0].revents != 0) {
                if (wl_display_read_events(display_) < 0) {
                    return;
                }
            } else {
                wl_display_cancel_read(display_);
            }
            if (wl_display_dispatch_pending(display_) < 0) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                eventfd_t ignored = 0;
                eventfd_read(owner_.wakeFd_, &ignored);
            }
        }
    }

private:
    struct Handle {
        Session* session;
        ToplevelWindow window;
    };

    void sendRequests() {
        decltype(owner_.pending_) requests;
        {
            const std::lock_guard lock(owner_.mutex_);
            requests.swap(owner_.pending_);
        }
        for (const auto& [id, what] : requests) {
            const auto found = std::find_if(handles_.begin(), handles_.end(), [id](const auto& entry) {
                return entry.second->window.id == id;
            });
            if (found != handles_.end()) {
                send(found->first, what);
            }
        }
    }

    static void send(zwlr_foreign_toplevel_handle_v1* proxy, ToplevelRequest what) {
        const bool hasFullscreen = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(proxy)) >= 2;
        switch (what) {
        case ToplevelRequest::maximize:
            zwlr_foreign_toplevel_handle_v1_set_maximized(proxy);
            break;
        case ToplevelRequest::restore:
            zwlr_foreign_toplevel_handle_v1_unset_maximized(proxy);
            break;
        case ToplevelRequest::minimize:
            zwlr_foreign_toplevel_handle_v1_set_minimized(proxy);
            break;
        case ToplevelRequest::close:
            zwlr_foreign_toplevel_handle_v1_close(proxy);
            break;
        case ToplevelRequest::fullscreen:
            if (hasFullscreen) {
                zwlr_foreign_toplevel_handle_v1_set_fullscreen(proxy, nullptr);
            }
            break;
        case ToplevelRequest::leaveFullscreen:
            if (hasFullscreen) {
                zwlr_foreign_toplevel_handle_v1_unset_fullscreen(proxy);
            }
            break;
        }
    }

    void publish(const ToplevelWindow& window) {
        {
            const std::lock_guard lock(owner_.mutex_);
            auto& windows = owner_.windows_;
            const auto found = std::find_if(windows.begin(), windows.end(),
                                            [&](const auto& known) { return known.id == window.id; });
            if (found != windows.end()) {
                *found = window;
            } else {
                windows.push_back(window);
            }
        }
        owner_.changed_.notify_all();
    }

    void forget(zwlr_foreign_toplevel_handle_v1* proxy) {
        const auto found = handles_.find(proxy);
        if (found == handles_.end()) {
            return;
        }
        const auto id = found->second->window.id;
        zwlr_foreign_toplevel_handle_v1_destroy(proxy);
        handles_.erase(found);
        {
            const std::lock_guard lock(owner_.mutex_);
            std::erase_if(owner_.windows_, [id](const auto& window) { return window.id == id; });
        }
        owner_.changed_.notify_all();
    }

    static void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version) {
        auto* self = static_cast<Session*>(data);
        if (std::string_view(interface) == zwlr_foreign_toplevel_manager_v1_interface.name &&
            !self->manager_) {
            self->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
                wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                                 std::min(version, newestManagerVersion)));
            zwlr_foreign_toplevel_manager_v1_add_listener(self->manager_, &managerListener, self);
        }
    }
    static void globalRemove(void*, wl_registry*, std::uint32_t) {}

    static void toplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                         zwlr_foreign_toplevel_handle_v1* proxy) {
        auto* self = static_cast<Session*>(data);
        if (self->handles_.size() >= maxWindows) {
            zwlr_foreign_toplevel_handle_v1_destroy(proxy);
            return;
        }
        auto handle = std::make_unique<Handle>(Handle{self, {}});
        {
            const std::lock_guard lock(self->owner_.mutex_);
            handle->window.id = self->owner_.nextId_++;
        }
        zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &handleListener, handle.get());
        self->handles_.emplace(proxy, std::move(handle));
    }
    static void finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* self = static_cast<Session*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        self->manager_ = nullptr;
    }

    static void title(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text) {
        static_cast<Handle*>(data)->window.title = text;
    }
    static void appId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* text) {
        static_cast<Handle*>(data)->window.appId = text;
    }
    static void outputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void outputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void state(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        auto& window = static_cast<Handle*>(data)->window;
        window.activated = window.maximized = window.minimized = window.fullscreen = false;
        const auto* values = static_cast<const std::uint32_t*>(states->data);
        for (std::size_t index = 0; index < states->size / sizeof(std::uint32_t); ++index) {
            switch (values[index]) {
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED:
                window.activated = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MAXIMIZED:
                window.maximized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED:
                window.minimized = true;
                break;
            case ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN:
                window.fullscreen = true;
                break;
            default:
                break;
            }
        }
    }
    static void done(void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* handle = static_cast<Handle*>(data);
        handle->session->publish(handle->window);
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* proxy) {
        static_cast<Handle*>(data)->session->forget(proxy);
    }
    static void parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    static constexpr wl_registry_listener registryListener{&global, &globalRemove};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener managerListener{&toplevel, &finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener handleListener{
        &title, &appId, &outputEnter, &outputLeave, &state, &done, &closed, &parent};

    ForeignToplevels& owner_;
    wl_display* display_;
    wl_registry* registry_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::map<zwlr_foreign_toplevel_handle_v1*, std::unique_ptr<Handle>> handles_;
};

ForeignToplevels::ForeignToplevels(std::string displayName) : displayName_(std::move(displayName)) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throw std::runtime_error("Cannot create the wake-up event of the Wayland connection");
    }
    thread_ = std::thread([this] { run(); });
}

ForeignToplevels::~ForeignToplevels() {
    stopping_ = true;
    wake();
    thread_.join();
    close(wakeFd_);
}

void ForeignToplevels::wake() const {
    eventfd_write(wakeFd_, 1);
}

bool ForeignToplevels::connected() const {
    const std::lock_guard lock(mutex_);
    return connected_;
}

pid_t ForeignToplevels::compositorPid() const {
    const std::lock_guard lock(mutex_);
    return compositorPid_;
}

std::optional<ToplevelWindow> ForeignToplevels::focused() const {
    const std::lock_guard lock(mutex_);
    const auto found =
        std::find_if(windows_.begin(), windows_.end(), [](const auto& window) { return window.activated; });
    if (found == windows_.end()) {
        return std::nullopt;
    }
    return *found;
}

std::vector<ToplevelWindow> ForeignToplevels::windows() const {
    const std::lock_guard lock(mutex_);
    return windows_;
}

bool ForeignToplevels::request(std::uint64_t window, ToplevelRequest what) {
    {
        const std::lock_guard lock(mutex_);
        if (!connected_ || pending_.size() >= maxPendingRequests ||
            std::none_of(windows_.begin(), windows_.end(),
                         [&](const auto& known) { return known.id == window; })) {
            return false;
        }
        pending_.emplace_back(window, what);
    }
    wake();
    return true;
}

bool ForeignToplevels::waitFor(const std::function<bool(const std::vector<ToplevelWindow>&)>& condition,
                               std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return condition(windows_); });
}

void ForeignToplevels::run() {
    const char* name = displayName_.empty() ? nullptr : displayName_.c_str();
    // Logged when the state changes, not at every attempt.
    enum class Seen { nothing, noCompositor, noProtocol, connected } seen = Seen::nothing;
    while (!stopping_) {
        wl_display* display = wl_display_connect(name);
        if (display) {
            Session session(*this, display);
            if (session.start()) {
                const auto pid = peerPid(display);
                {
                    const std::lock_guard lock(mutex_);
                    connected_ = true;
                    compositorPid_ = pid;
                }
                changed_.notify_all();
                log(LogLevel::info, "Following the windows of the Wayland compositor (process ", pid, ")");
                seen = Seen::connected;
                session.serve();
                {
                    const std::lock_guard lock(mutex_);
                    connected_ = false;
                    compositorPid_ = 0;
                    windows_.clear();
                    pending_.clear();
                }
                changed_.notify_all();
                if (!stopping_) {
                    logText(LogLevel::warning,
                            "The Wayland compositor ended the connection; waiting for it to come back");
                }
            } else if (seen != Seen::noProtocol) {
                logText(LogLevel::warning, "The Wayland compositor does not offer "
                                           "zwlr_foreign_toplevel_manager_v1; trying again");
                seen = Seen::noProtocol;
            }
        } else if (seen != Seen::noCompositor && seen != Seen::connected) {
            logText(LogLevel::warning, "No Wayland compositor answers; trying again");
            seen = Seen::noCompositor;
        }
        if (stopping_) {
            break;
        }
        pollfd wakeUp{wakeFd_, POLLIN, 0};
        poll(&wakeUp, 1, static_cast<int>(reconnectPause.count()));
    }
}

} // namespace obx::wayland
