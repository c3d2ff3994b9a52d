#include "KWinCompositor.h"

#include "HelperProcess.h"
#include "SwayCompositor.h"
#include "platform/linux/kde/KWinBus.h"

#include <csignal>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace obx::test {

namespace fs = std::filesystem;

namespace {

// KWin takes its name before it serves its scripting object.
bool scriptingAnswers(sd_bus* bus) {
    return sd_bus_call_method(bus, kde::kwinService, "/Scripting", "org.kde.kwin.Scripting", "isScriptLoaded",
                              nullptr, nullptr, "s", "none") >= 0;
}

bool kwinOnBus(sd_bus* bus) {
    sd_bus_message* reply = nullptr;
    int owned = 0;
    if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", nullptr, &reply, "s", kde::kwinService) >= 0) {
        sd_bus_message_read(reply, "b", &owned);
    }
    sd_bus_message_unref(reply);
    return owned != 0;
}

// A script that runs the statement for the window of the app id.
std::string forWindowOf(const std::string& appId, const std::string& statement) {
    return "var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
           "for (var i = 0; i < windows.length; ++i) {\n"
           "    var window = windows[i];\n"
           "    if (window.resourceClass == '" +
           appId + "') {\n" + statement + "\n    }\n}\n";
}

void readableByAll(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

} // namespace

KWinCompositor::KWinCompositor(KWinSetup setup) : runtime_(folder_ / "runtime") {
    const auto config = folder_ / "home" / ".config";
    fs::create_directories(config);
    if (!setup.keyboardLayout.empty()) {
        writeFile(config / "kxkbrc", "[Layout]\nLayoutList=" + setup.keyboardLayout + "\nUse=true\n");
    }
    for (const auto& folder : {runtime_, folder_ / "home", config}) {
        fs::create_directories(folder);
        const auto user = compositorUser();
        if (chown(folder.c_str(), user, user) != 0 || chmod(folder.c_str(), 0700) != 0) {
            throw std::runtime_error("cannot prepare the compositor's folders");
        }
    }
    fs::create_directories(programFolder());
    // The installed program carries a file capability that containers refuse
    // to grant; a copy carries none.
    fs::copy_file("/usr/bin/kwin_wayland", programFolder() / "kwin_wayland");
    readableByAll(programFolder() / "kwin_wayland");
    // KWin looks for the desktop files of programs in the applications
    // folders of its XDG_DATA_DIRS.
    fs::create_directories(folder_ / "data" / "applications");
    readableByAll(folder_ / "data");
    readableByAll(folder_ / "data" / "applications");
    if (!setup.fakeInputProgram.empty()) {
        const auto copy = programFolder() / setup.fakeInputProgram.filename();
        fs::copy_file(setup.fakeInputProgram, copy);
        readableByAll(copy);
        auto entry = readFile(OBX_HELPER_DESKTOP_FILE);
        const auto exec = entry.find("\nExec=");
        entry.replace(exec + 1, entry.find('\n', exec + 1) - exec - 1, "Exec=" + copy.string());
        const auto file = folder_ / "data" / "applications" / (copy.filename().string() + ".desktop");
        writeFile(file, entry);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
    }
    startKWin();
}

KWinCompositor::~KWinCompositor() {
    if (kwin_) {
        kwin_->signal(SIGTERM);
        kwin_->waitExit(kWait);
    }
}

void KWinCompositor::startKWin() {
    ++starts_;
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime_.string(),
                                       "HOME=" + (folder_ / "home").string(),
                                       "DISPLAY=",
                                       "WAYLAND_DISPLAY=",
                                       "XDG_SESSION_TYPE=",
                                       "QT_QPA_PLATFORM=",
                                       "XDG_DATA_DIRS=" + (folder_ / "data").string() +
                                           ":/usr/local/share:/usr/share",
                                       busEnvironment()};
    log_ = folder_ / ("kwin-" + std::to_string(starts_) + ".log");
    const auto& log = log_;
    kwin_ = std::make_unique<SpawnedProcess>(
        asCompositorUser({(programFolder() / "kwin_wayland").string(), "--virtual", "--no-lockscreen",
                          "--no-global-shortcuts", "--socket", socketName, "--width", "1024", "--height",
                          "768"}),
        env, log);
    const bool up = waitUntil([&] {
        if (!kwin_->running()) {
            return false;
        }
        std::error_code error;
        return fs::exists(runtime_ / socketName, error) && scriptingAnswers(bus());
    });
    if (!up) {
        const std::string text = readFile(log);
        throw std::runtime_error("KWin did not start:\n" +
                                 text.substr(text.size() > 4000 ? text.size() - 4000 : 0));
    }
}

void KWinCompositor::restart() {
    kwin_->signal(SIGTERM);
    kwin_->waitExit(kWait);
    waitUntil([&] { return !kwinOnBus(bus()); });
    startKWin();
}

std::vector<std::string> KWinCompositor::clientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + runtime_.string(), "WAYLAND_DISPLAY=" + waylandDisplay(),
            "DISPLAY=", "HOME=" + (folder_ / "home").string()};
}

std::unique_ptr<SpawnedProcess> KWinCompositor::start(std::vector<std::string> command,
                                                      const std::filesystem::path& output) const {
    return std::make_unique<SpawnedProcess>(asCompositorUser(std::move(command)), clientEnvironment(),
                                            output);
}

KWinClient KWinCompositor::startProbe(const std::string& program, const std::string& appId) const {
    static int clients = 0;
    KWinClient client;
    client.output = folder_ / ("client-" + std::to_string(++clients) + ".log");
    client.process = std::make_unique<SpawnedProcess>(
        asCompositorUser({probeCopy(programFolder(), program).string(), appId}), clientEnvironment(),
        client.output);
    return client;
}

void KWinCompositor::runScript(const std::string& name, const std::string& text) const {
    // KWin starts scripts after its answer to "start": each run has a name
    // of its own and stays loaded until KWin ends.
    static int runs = 0;
    const std::string unique = name + "-" + std::to_string(++runs);
    const auto file = programFolder() / (unique + ".js");
    writeFile(file, text);
    readableByAll(file);
    kde::KWinScripting(bus()).run(file, unique);
}

void KWinCompositor::activate(const std::string& appId) const {
    runScript("test-activate",
              forWindowOf(appId, "if (workspace.windowList) workspace.activeWindow = window;\n"
                                 "else workspace.activeClient = window;"));
}

bool KWinCompositor::minimized(const std::string& appId) const {
    static int asked = 0;
    const std::string marker = "obx-minimized-" + std::to_string(++asked) + " ";
    runScript("test-minimized", forWindowOf(appId, "print('" + marker + "' + window.minimized);"));
    std::string text;
    if (!waitUntil([&] {
            text = readFile(log_);
            return text.find(marker) != std::string::npos;
        })) {
        throw std::runtime_error("KWin did not run the test's script");
    }
    return text.compare(text.find(marker) + marker.size(), 4, "true") == 0;
}

} // namespace obx::test
