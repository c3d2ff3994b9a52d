#include "platform/linux/kde/KWinActiveWindow.h"

#include "base/Log.h"
#include "platform/linux/shell/BusPeers.h"
#include "platform/linux/shell/SdBusLoop.h"

#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <poll.h>
#include <string_view>
#include <sys/eventfd.h>
#include <unistd.h>

namespace obx::kde {

namespace {

constexpr auto retryPause = std::chrono::milliseconds(500);
// A report's texts are cut to these lengths: a caller cannot make the helper
// keep more.
constexpr std::size_t longestClass = 255;
constexpr std::size_t longestKey = 64;

constexpr std::string_view busNameMark = "@HELPER_BUS_NAME@";

// The focus script with the helper's unique bus name in it, in a new folder
// that only the helper may write to, from which KWin reads it; removed with
// the object. The name is no secret (the bus lists it to everyone), so the
// copy may be read by all, which lets a KWin of another user read it too.
class PersonalScript {
public:
    PersonalScript(const std::filesystem::path& original, const std::string& busName) {
        // Unique names are ":" and dotted numbers: nothing that could end the
        // script's string.
        if (busName.empty() || busName.find_first_not_of(":.0123456789") != std::string::npos) {
            throw std::runtime_error("unexpected unique bus name " + busName);
        }
        std::ifstream in(original, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto mark = text.find(busNameMark);
        if (in.bad() || mark == std::string::npos) {
            throw std::runtime_error("cannot read the focus script " + original.string());
        }
        text.replace(mark, busNameMark.size(), busName);
        // The temporary folder, which KWin shares with the helper whoever
        // runs it.
        std::string pattern = (std::filesystem::temp_directory_path() / "obx-kwin-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a folder for the focus script: " +
                                     std::string(std::strerror(errno)));
        }
        folder_ = pattern;
        path_ = folder_ / original.filename();
        std::ofstream out(path_, std::ios::binary);
        std::error_code error;
        std::filesystem::permissions(folder_, std::filesystem::perms(0755), error);
        if (!(out << text) || !out.flush() || error) {
            std::filesystem::remove_all(folder_);
            throw std::runtime_error("cannot write the focus script " + path_.string());
        }
    }
    ~PersonalScript() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    PersonalScript(const PersonalScript&) = delete;
    PersonalScript& operator=(const PersonalScript&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
};

const char* uniqueNameOf(sd_bus* bus) {
    const char* name = nullptr;
    const int result = sd_bus_get_unique_name(bus, &name);
    if (result < 0) {
        throw std::runtime_error(std::string("no unique bus name: ") + std::strerror(-result));
    }
    return name;
}

pid_t parsePid(const char* text) {
    pid_t pid = 0;
    const auto end = text + std::strlen(text);
    const auto [last, error] = std::from_chars(text, end, pid);
    return error == std::errc() && last == end && pid > 0 ? pid : 0;
}

} // namespace

// The thread's bus connection: the object, the name, the watch on KWin's
// name and the script. Lives on the thread only.
class KWinActiveWindow::Connection {
public:
    explicit Connection(KWinActiveWindow& owner) : owner_(owner), bus_(openSessionBus()) {
        int result = sd_bus_add_object_vtable(bus_.get(), nullptr, objectPath, interfaceName, vtable, this);
        if (result < 0) {
            throw std::runtime_error(std::string("cannot serve the desktop object: ") +
                                     std::strerror(-result));
        }
        result =
            sd_bus_add_match(bus_.get(), nullptr,
                             "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                             "member='NameOwnerChanged',arg0='org.kde.KWin'",
                             &Connection::onOwnerChanged, this);
        if (result < 0) {
            throw std::runtime_error(std::string("cannot watch KWin's name: ") + std::strerror(-result));
        }
        const std::string busName = uniqueNameOf(bus_.get());
        script_ = std::make_unique<PersonalScript>(owner_.script_, busName);
        owner_.named(busName);
        kwinOwner_ = linuxos::nameOwner(bus_.get(), kwinService);
        loadDue_ = !kwinOwner_.empty();
    }

    ~Connection() {
        if (!kwinOwner_.empty() && loaded_) {
            try {
                KWinScripting(bus_.get()).unload(scriptName);
            } catch (const std::exception& error) {
                log(LogLevel::warning, "KWinActiveWindow - ", error.what());
            }
        }
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Serves the bus until the helper stops or the bus ends.
    void serve() {
        auto nextTry = std::chrono::steady_clock::now();
        while (!owner_.stopping_) {
            if (loadDue_ && std::chrono::steady_clock::now() >= nextTry) {
                loadScript();
                nextTry = std::chrono::steady_clock::now() + retryPause;
            }
            if (!linuxos::processBus(bus_.get())) {
                log(LogLevel::error, "KWinActiveWindow - the session bus ended the connection");
                return;
            }
            int timeout = linuxos::busTimeoutMs(bus_.get());
            if (loadDue_) {
                const int pause = static_cast<int>(retryPause.count());
                timeout = timeout < 0 ? pause : std::min(timeout, pause);
            }
            pollfd fds[2] = {linuxos::busDescriptor(bus_.get()), {owner_.wakeFd_, POLLIN, 0}};
            if (poll(fds, 2, timeout) < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                eventfd_t ignored = 0;
                eventfd_read(owner_.wakeFd_, &ignored);
            }
        }
    }

private:
    void loadScript() {
        try {
            KWinScripting(bus_.get()).run(script_->path(), scriptName);
            loadDue_ = false;
            loaded_ = true;
            failureLogged_ = false;
            log(LogLevel::info, "KWinActiveWindow - the focus script runs in KWin (", kwinOwner_, ")");
        } catch (const std::exception& error) {
            if (!failureLogged_) {
                log(LogLevel::error, "KWinActiveWindow - ", error.what(), "; trying again");
                failureLogged_ = true;
            }
        }
    }

    static int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
        auto& self = *static_cast<Connection*>(data);
        const char* name = nullptr;
        const char* previous = nullptr;
        const char* current = nullptr;
        if (sd_bus_message_read(message, "sss", &name, &previous, &current) < 0 || !current) {
            return 0;
        }
        self.kwinOwner_ = current;
        self.loaded_ = false;
        self.owner_.forget();
        if (self.kwinOwner_.empty()) {
            log(LogLevel::warning,
                "KWinActiveWindow - KWin left the session bus; waiting for it to come back");
            self.loadDue_ = false;
        } else {
            self.loadDue_ = true;
        }
        return 0;
    }

    static int onWindowActivated(sd_bus_message* call, void* data, sd_bus_error*) {
        auto& self = *static_cast<Connection*>(data);
        // Only KWin tells which window is active.
        const char* sender = sd_bus_message_get_sender(call);
        if (!sender || self.kwinOwner_ != sender) {
            return sd_bus_reply_method_errorf(call, SD_BUS_ERROR_ACCESS_DENIED, "Only KWin reports windows");
        }
        const char* pid = nullptr;
        const char* resourceClass = nullptr;
        const char* key = nullptr;
        const int result = sd_bus_message_read(call, "sss", &pid, &resourceClass, &key);
        if (result < 0) {
            return result;
        }
        self.owner_.report(parsePid(pid), std::string(resourceClass).substr(0, longestClass),
                           std::string(key).substr(0, longestKey));
        return sd_bus_reply_method_return(call, "");
    }

    static constexpr sd_bus_vtable vtable[] = {SD_BUS_VTABLE_START(0),
                                               SD_BUS_METHOD("WindowActivated", "sss", "",
                                                             &Connection::onWindowActivated,
                                                             SD_BUS_VTABLE_UNPRIVILEGED),
                                               SD_BUS_VTABLE_END};

    KWinActiveWindow& owner_;
    BusConnection bus_;
    std::unique_ptr<PersonalScript> script_;
    std::string kwinOwner_;
    bool loadDue_ = false;
    bool loaded_ = false;
    bool failureLogged_ = false;
};

KWinActiveWindow::KWinActiveWindow(std::filesystem::path scriptFolder)
    : script_(std::move(scriptFolder) / "focus.js"), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ < 0) {
        throw std::runtime_error("cannot make the KDE bridge's wake-up descriptor");
    }
    thread_ = std::thread([this] { run(); });
}

KWinActiveWindow::~KWinActiveWindow() {
    stopping_ = true;
    eventfd_write(wakeFd_, 1);
    thread_.join();
    close(wakeFd_);
}

ActiveWindow KWinActiveWindow::active() const {
    const std::lock_guard lock(mutex_);
    return active_;
}

std::string KWinActiveWindow::busName() const {
    const std::lock_guard lock(mutex_);
    return busName_;
}

void KWinActiveWindow::named(std::string busName) {
    const std::lock_guard lock(mutex_);
    busName_ = std::move(busName);
}

void KWinActiveWindow::run() {
    try {
        Connection connection(*this);
        connection.serve();
    } catch (const std::exception& error) {
        log(LogLevel::error, "KWinActiveWindow - ", error.what());
    }
}

void KWinActiveWindow::report(pid_t pid, std::string resourceClass, std::string windowKey) {
    const std::lock_guard lock(mutex_);
    if (windowKey.empty()) {
        active_ = {};
        windowKey_.clear();
        return;
    }
    if (windowKey != windowKey_) {
        windowKey_ = std::move(windowKey);
        active_.id = nextId_++;
    }
    active_.pid = pid;
    active_.resourceClass = std::move(resourceClass);
}

void KWinActiveWindow::forget() {
    const std::lock_guard lock(mutex_);
    active_ = {};
    windowKey_.clear();
}

} // namespace obx::kde
