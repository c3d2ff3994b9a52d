#include "GnomeShellSession.h"

#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/actions/Programs.h"
#include "platform/linux/gnome/ShellBridgeBus.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::test {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds shellStartWait(90);

void giveToUser(const fs::path& path) {
    const auto user = compositorUser();
    if (chown(path.c_str(), user, user) != 0) {
        throw std::runtime_error("cannot give a folder to the session's user");
    }
    if (fs::is_directory(path)) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            if (chown(entry.path().c_str(), user, user) != 0) {
                throw std::runtime_error("cannot give a file to the session's user");
            }
        }
    }
}

// The tests' build's own interface (extension/test.js).
constexpr const char* testObjectPath = "/org/obx/ShellBridgeTest";
constexpr const char* testInterface = "org.obx.ShellBridgeTest1";

std::string text(const fs::path& file) {
    std::ifstream input(file);
    return {std::istreambuf_iterator<char>(input), {}};
}

// The end of a log, for a failure's message.
std::string tail(const fs::path& file) {
    const auto all = text(file);
    return all.substr(all.size() > 4000 ? all.size() - 4000 : 0);
}

} // namespace

GnomeShellSession::GnomeShellSession(bool extensionEnabled)
    : runtime_(folder_ / "runtime"), home_(folder_ / "home"), extensionEnabled_(extensionEnabled) {
    // Every copy of the tests' build: the Shell chooses the one for its major.
    const auto extensions = home_ / ".local/share/gnome-shell/extensions";
    fs::create_directories(extensions);
    fs::copy(OBX_GNOME_TEST_EXTENSIONS_DIR, extensions, fs::copy_options::recursive);
    fs::create_directories(runtime_);
    fs::create_directories(programFolder());
    fs::permissions(runtime_, fs::perms::owner_all);
    giveToUser(home_);
    giveToUser(runtime_);

    std::ofstream(folder_ / "system.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>system</type><listen>unix:path="
        << (runtime_ / "system_bus").string()
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/><allow "
           "receive_sender=\"*\"/>"
           "<allow own=\"*\"/><allow user=\"*\"/></policy></busconfig>\n";
    systemBus_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({"dbus-daemon", "--nofork", "--config-file=" + (folder_ / "system.conf").string()}),
        environment(), folder_ / "system-bus.log");
    // The usual session bus, which a test run as root may also join.
    std::ofstream(folder_ / "session.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><include>/usr/share/dbus-1/session.conf</include>"
           "<policy context=\"default\"><allow user=\"root\"/></policy></busconfig>\n";
    sessionBus_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({"dbus-daemon", "--nofork", "--config-file=" + (folder_ / "session.conf").string(),
                          "--address=unix:path=" + (runtime_ / "bus").string()}),
        environment(), folder_ / "session-bus.log");
    const std::string address = "unix:path=" + (runtime_ / "bus").string();
    const bool connected = waitUntil([&] {
        if (!fs::exists(runtime_ / "system_bus") || sd_bus_new(&bus_) < 0) {
            return false;
        }
        if (sd_bus_set_address(bus_, address.c_str()) >= 0 && sd_bus_set_bus_client(bus_, 1) >= 0 &&
            sd_bus_start(bus_) >= 0) {
            return true;
        }
        bus_ = sd_bus_flush_close_unref(bus_);
        return false;
    });
    if (!connected) {
        throw std::runtime_error("the buses did not start:\n" + tail(folder_ / "session-bus.log"));
    }
    // A display manager's stand-in, which the Shell asks before it offers a
    // lock screen.
    displayManager_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({"/usr/bin/python3", "-m", "dbusmock", "--system", "org.gnome.DisplayManager",
                          "/org/gnome/DisplayManager/Manager", "org.gnome.DisplayManager.Manager"}),
        environment(), folder_ / "display-manager.log");
    if (!waitUntil([&] {
            return run({"gdbus", "call", "--system", "--dest", "org.gnome.DisplayManager", "--object-path",
                        "/org/gnome/DisplayManager/Manager", "--method",
                        "org.freedesktop.DBus.Mock.AddProperty", "org.gnome.DisplayManager.Manager",
                        "Version", "<'43.0'>"}) == 0;
        })) {
        throw std::runtime_error("the display manager's stand-in did not start:\n" +
                                 tail(folder_ / "display-manager.log"));
    }
    // The settings store's shared memory file is made by its first reader:
    // the session's user, so that a test run as root does not take it.
    if (run({"gsettings", "get", "org.gnome.shell", "enabled-extensions"}) != 0) {
        throw std::runtime_error("the user's settings cannot be read");
    }
    if (extensionEnabled_ &&
        run({"gsettings", "set", "org.gnome.shell", "enabled-extensions", enabledExtensionsValue()}) != 0) {
        throw std::runtime_error("cannot enable the extension in the user's settings");
    }
    startShell();
}

GnomeShellSession::~GnomeShellSession() {
    sd_bus_flush_close_unref(bus_);
    for (auto* process : {shell_.get(), displayManager_.get(), sessionBus_.get(), systemBus_.get()}) {
        if (process) {
            process->signal(SIGTERM);
            process->waitExit(kWait);
        }
    }
}

std::vector<std::string> GnomeShellSession::environment() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.string(),
            "HOME=" + home_.string(),
            "XDG_CONFIG_HOME=" + (home_ / ".config").string(),
            "XDG_DATA_HOME=" + (home_ / ".local/share").string(),
            "XDG_CACHE_HOME=" + (home_ / ".cache").string(),
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (runtime_ / "bus").string(),
            "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + (runtime_ / "system_bus").string(),
            "WAYLAND_DISPLAY=" + waylandDisplay(),
            "XDG_SESSION_TYPE=wayland",
            "DISPLAY=",
            "GSETTINGS_BACKEND=dconf"};
}

void GnomeShellSession::enter() const {
    for (const auto& entry : environment()) {
        const auto equals = entry.find('=');
        setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
}

void GnomeShellSession::startShell() {
    ++starts_;
    auto env = environment();
    env.push_back("LIBGL_ALWAYS_SOFTWARE=1");
    const auto log = folder_ / ("shell-" + std::to_string(starts_) + ".log");
    shell_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({"gnome-shell", "--wayland", "--headless", "--no-x11", "--virtual-monitor",
                          "1024x768", "--wayland-display=" + waylandDisplay()}),
        env, log);
    // It logs this line once its start-up animation is over: about 3 s, far
    // longer on a busy machine.
    const bool up = waitUntil(
        [&] {
            return text(log).find("GNOME Shell started at") != std::string::npos &&
                   owned("org.gnome.Shell") && (!extensionEnabled_ || owned(gnome::bridgeBusName));
        },
        shellStartWait);
    // It starts in the overview, which would keep the windows from the focus.
    if (!up || run({"gdbus", "call", "--session", "--dest", "org.gnome.Shell", "--object-path",
                    "/org/gnome/Shell", "--method", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell",
                    "OverviewActive", "<false>"}) != 0) {
        throw std::runtime_error("GNOME Shell did not start:\n" + tail(log));
    }
}

void GnomeShellSession::restart() {
    shell_->signal(SIGTERM);
    shell_->waitExit(kWait);
    waitUntil([&] { return !owned("org.gnome.Shell"); });
    startShell();
}

std::unique_ptr<SpawnedProcess> GnomeShellSession::startClient(const std::vector<std::string>& command,
                                                               const fs::path& output) const {
    return std::make_unique<SpawnedProcess>(asCompositorUser(command), environment(), output);
}

int GnomeShellSession::run(const std::vector<std::string>& command) const {
    static int runs = 0;
    SpawnedProcess process(asCompositorUser(command), environment(),
                           folder_ / ("run-" + std::to_string(++runs) + ".log"));
    return process.waitExit(kWait).value_or(-1);
}

std::string GnomeShellSession::output(const std::vector<std::string>& command) const {
    static int runs = 0;
    const auto file = folder_ / ("output-" + std::to_string(++runs) + ".txt");
    SpawnedProcess process(asCompositorUser(command), environment(), file);
    process.waitExit(kWait);
    return text(file);
}

std::string GnomeShellSession::setting(const std::string& schema, const std::string& key) const {
    auto value = output({"gsettings", "get", schema, key});
    while (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value.substr(value.rfind('\n') + 1);
}

bool GnomeShellSession::owned(const std::string& name) const {
    sd_bus_message* reply = nullptr;
    int has = 0;
    const bool asked =
        sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", nullptr, &reply, "s", name.c_str()) >= 0 &&
        sd_bus_message_read(reply, "b", &has) >= 0;
    sd_bus_message_unref(reply);
    return asked && has;
}

std::vector<TopBarIcon> GnomeShellSession::topBarIcons() const {
    sd_bus_message* reply = nullptr;
    std::vector<TopBarIcon> icons;
    int result = sd_bus_call_method(bus_, gnome::bridgeBusName, testObjectPath, testInterface, "GetTrayIcons",
                                    nullptr, &reply, "");
    if (result >= 0) {
        result = sd_bus_message_enter_container(reply, 'a', "(ssas)");
    }
    while (result >= 0 && sd_bus_message_enter_container(reply, 'r', "ssas") > 0) {
        const char *icon = nullptr, *title = nullptr;
        char** menu = nullptr;
        result = sd_bus_message_read(reply, "ss", &icon, &title);
        if (result >= 0) {
            result = sd_bus_message_read_strv(reply, &menu);
        }
        if (result >= 0) {
            icons.push_back({icon, title, {}});
            for (char** entry = menu; entry && *entry; ++entry) {
                icons.back().menu.emplace_back(*entry);
            }
            result = sd_bus_message_exit_container(reply);
        }
        for (char** entry = menu; entry && *entry; ++entry) {
            std::free(*entry);
        }
        std::free(menu);
    }
    sd_bus_message_unref(reply);
    return result >= 0 ? icons : std::vector<TopBarIcon>{};
}

bool GnomeShellSession::chooseTopBarEntry(const std::string& label) const {
    sd_bus_message* reply = nullptr;
    int chosen = 0;
    const bool asked = sd_bus_call_method(bus_, gnome::bridgeBusName, testObjectPath, testInterface,
                                          "ChooseTrayEntry", nullptr, &reply, "s", label.c_str()) >= 0 &&
                       sd_bus_message_read(reply, "b", &chosen) >= 0;
    sd_bus_message_unref(reply);
    return asked && chosen;
}

SnippetMenuView GnomeShellSession::snippetMenu() const {
    sd_bus_message* reply = nullptr;
    SnippetMenuView view;
    int open = 0;
    char** captions = nullptr;
    const bool asked = sd_bus_call_method(bus_, gnome::bridgeBusName, testObjectPath, testInterface,
                                          "GetSnippetMenu", nullptr, &reply, "") >= 0 &&
                       sd_bus_message_read(reply, "biiiiii", &open, &view.x, &view.y, &view.width,
                                           &view.height, &view.pointerX, &view.pointerY) >= 0 &&
                       sd_bus_message_read_strv(reply, &captions) >= 0;
    for (char** caption = captions; caption && *caption; ++caption) {
        view.captions.emplace_back(*caption);
        std::free(*caption);
    }
    std::free(captions);
    sd_bus_message_unref(reply);
    view.open = asked && open;
    return view;
}

// Mutter exports each session below /org/gnome/Mutter/RemoteDesktop/Session.
bool GnomeShellSession::remoteDesktopSessionExists() const {
    sd_bus_message* reply = nullptr;
    const char* xml = nullptr;
    const bool exists =
        sd_bus_call_method(bus_, "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                           "org.freedesktop.DBus.Introspectable", "Introspect", nullptr, &reply, "") >= 0 &&
        sd_bus_message_read(reply, "s", &xml) >= 0 &&
        std::string_view(xml).find("<node name=\"Session\"") != std::string_view::npos;
    sd_bus_message_unref(reply);
    return exists;
}

bool GnomeShellSession::screenSharingShown() const {
    sd_bus_message* reply = nullptr;
    int shown = 0;
    const bool asked = sd_bus_call_method(bus_, gnome::bridgeBusName, testObjectPath, testInterface,
                                          "GetScreenSharingShown", nullptr, &reply, "") >= 0 &&
                       sd_bus_message_read(reply, "b", &shown) >= 0;
    sd_bus_message_unref(reply);
    return asked && shown;
}

void GnomeShellSession::setLayout(const std::string& layout) const {
    if (run({"gsettings", "set", "org.gnome.desktop.input-sources", "sources",
             "[('xkb', '" + layout + "')]"}) != 0) {
        throw std::runtime_error("cannot set the user's keyboard layout");
    }
}

std::string enabledExtensionsValue() {
    std::string value;
    for (const char* uuid : gnome::extensionUuids) {
        value += (value.empty() ? "['" : ", '") + std::string(uuid) + "'";
    }
    return value + "]";
}

} // namespace obx::test
