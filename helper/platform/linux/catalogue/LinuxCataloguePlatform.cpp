#include "platform/linux/catalogue/LinuxCataloguePlatform.h"

#include "actions/LowerCase.h"
#include "base/Log.h"
#include "platform/linux/catalogue/DesktopEntry.h"
#include "platform/linux/catalogue/IconImage.h"
#include "platform/linux/catalogue/SmallFile.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <unistd.h>

namespace obx::linuxos {

namespace {

namespace fs = std::filesystem;
using x11::readListProperty;
using x11::readTextProperty;

constexpr std::size_t entryLimit = 1 << 20;
constexpr std::size_t settingsLimit = 1 << 16;
// More desktop entries than any installation has: the scan stops there.
constexpr std::size_t entriesLimit = 20000;
constexpr std::string_view entrySuffix = ".desktop";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string orDefault(const std::string& value, const std::string& fallback) {
    return value.empty() ? fallback : value;
}

// The value of a "key=value" line of a small settings file, blanks around
// both trimmed and double quotes around the value removed; empty when absent.
std::string settingsValue(const fs::path& file, std::string_view key) {
    const auto text = readSmallFile(file, settingsLimit);
    if (!text) {
        return {};
    }
    for (const auto& line : splitList(*text, '\n')) {
        const auto equals = line.find('=');
        if (equals == std::string::npos || trimmed(std::string_view(line).substr(0, equals)) != key) {
            continue;
        }
        auto value = trimmed(std::string_view(line).substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        return std::string(value);
    }
    return {};
}

bool isEntryFile(const fs::directory_entry& entry) {
    std::error_code error;
    const auto name = entry.path().filename().string();
    return name.size() > entrySuffix.size() && name.ends_with(entrySuffix) && entry.is_regular_file(error);
}

void logEnumerationError(const std::error_code& error) {
    // A folder that does not exist is no fault: most of the XDG ones are
    // optional.
    if (error && error != std::errc::no_such_file_or_directory) {
        log(LogLevel::warning, "Error enumerating files, rc: ", error.value());
    }
}

} // namespace

DesktopEnvironment DesktopEnvironment::fromProcess() {
    DesktopEnvironment values;
    values.home = environment("HOME");
    values.dataHome = environment("XDG_DATA_HOME");
    values.dataDirs = environment("XDG_DATA_DIRS");
    values.configHome = environment("XDG_CONFIG_HOME");
    values.currentDesktops = environment("XDG_CURRENT_DESKTOP");
    values.path = environment("PATH");
    values.messagesLocale =
        orDefault(environment("LC_ALL"), orDefault(environment("LC_MESSAGES"), environment("LANG")));
    return values;
}

LinuxCataloguePlatform::LinuxCataloguePlatform(Options options)
    : options_(std::move(options)), connection_(options_.displayName),
      processes_(connection_.display(), options_.procFolder) {
    const auto& env = options_.environment;
    const auto dataHome = orDefault(env.dataHome, env.home.empty() ? "" : env.home + "/.local/share");
    const auto dataDirs = splitList(orDefault(env.dataDirs, "/usr/local/share:/usr/share"), ':');
    if (!dataHome.empty()) {
        applicationFolders_.push_back(dataHome + "/applications");
    }
    for (const auto& folder : dataDirs) {
        applicationFolders_.push_back(folder + "/applications");
    }
    const auto configHome = orDefault(env.configHome, env.home.empty() ? "" : env.home + "/.config");
    if (!env.home.empty()) {
        auto desktop = settingsValue(fs::path(configHome) / "user-dirs.dirs", "XDG_DESKTOP_DIR");
        if (desktop.starts_with("$HOME")) {
            desktop.replace(0, 5, env.home);
        }
        desktopFolder_ = desktop.starts_with('/') ? desktop : env.home + "/Desktop";
    }
    locales_ = localeKeys(env.messagesLocale);
    desktops_ = splitList(env.currentDesktops, ':');
    searchPath_ = splitList(orDefault(env.path, "/usr/local/bin:/usr/bin:/bin"), ':');

    if (!env.home.empty()) {
        iconFolders_.push_back(fs::path(env.home) / ".icons");
    }
    if (!dataHome.empty()) {
        iconFolders_.push_back(fs::path(dataHome) / "icons");
    }
    for (const auto& folder : dataDirs) {
        iconFolders_.push_back(fs::path(folder) / "icons");
    }
    iconFolders_.emplace_back("/usr/share/pixmaps");
    themeSettings_ = fs::path(configHome) / "gtk-3.0" / "settings.ini";
}

void LinuxCataloguePlatform::beginList() {
    listing_ = true;
    scan();
}

void LinuxCataloguePlatform::endList() noexcept {
    listing_ = false;
}

void LinuxCataloguePlatform::visitWindowPrograms(const std::function<bool(const std::string&)>& visit) {
    if (!connection_.valid()) {
        return;
    }
    Display* display = connection_.display();
    // Bottom to top; the plain client list, in mapping order, when the
    // manager keeps no stacking one.
    auto windows = readListProperty(display, connection_.root(),
                                    connection_.atom("_NET_CLIENT_LIST_STACKING"), XA_WINDOW);
    if (windows.empty()) {
        windows =
            readListProperty(display, connection_.root(), connection_.atom("_NET_CLIENT_LIST"), XA_WINDOW);
    }
    for (auto window = windows.rbegin(); window != windows.rend(); ++window) {
        if (!applicationWindow(*window)) {
            continue;
        }
        const auto program = processes_.executable(*window);
        if (!program.empty() && !visit(program)) {
            return;
        }
    }
}

bool LinuxCataloguePlatform::applicationWindow(Window window) const {
    Display* display = connection_.display();
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.width <= 0 ||
        attributes.height <= 0) {
        return false;
    }
    const auto title = readTextProperty(display, window, connection_.atom("_NET_WM_NAME"));
    if (!title || title->empty()) {
        const auto plain = readTextProperty(display, window, XA_WM_NAME);
        if (!plain || plain->empty()) {
            return false;
        }
    }
    const auto states = readListProperty(display, window, connection_.atom("_NET_WM_STATE"), XA_ATOM);
    if (std::find(states.begin(), states.end(), connection_.atom("_NET_WM_STATE_SKIP_TASKBAR")) !=
        states.end()) {
        return false;
    }
    // A window without a type is a normal one; docks, menus, splashes and
    // the desktop itself are not applications.
    const auto types = readListProperty(display, window, connection_.atom("_NET_WM_WINDOW_TYPE"), XA_ATOM);
    return types.empty() || types.front() == connection_.atom("_NET_WM_WINDOW_TYPE_NORMAL") ||
           types.front() == connection_.atom("_NET_WM_WINDOW_TYPE_DIALOG");
}

void LinuxCataloguePlatform::scan() {
    entryFiles_.clear();
    resolved_.clear();
    programIcons_.reset();
    // The theme as the user has chosen it now, its index files read anew.
    const auto themeName = settingsValue(themeSettings_, "gtk-icon-theme-name");
    theme_.emplace(iconFolders_, orDefault(themeName, "hicolor"));
    std::set<std::string> ids;
    std::size_t total = 0;
    for (const auto& folder : applicationFolders_) {
        auto& files = entryFiles_[folder];
        std::error_code error;
        fs::recursive_directory_iterator entries(folder, fs::directory_options::skip_permission_denied,
                                                 error);
        for (; !error && entries != fs::recursive_directory_iterator() && total < entriesLimit;
             entries.increment(error)) {
            if (!isEntryFile(*entries)) {
                continue;
            }
            // The entry's id: its path below the folder, "/" read as "-".
            auto id = entries->path().lexically_relative(folder).string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (ids.insert(std::move(id)).second) {
                files.push_back(entries->path().string());
                ++total;
            }
        }
        logEnumerationError(error);
        std::sort(files.begin(), files.end());
    }
    if (!desktopFolder_.empty()) {
        auto& files = entryFiles_[desktopFolder_];
        std::error_code error;
        fs::directory_iterator entries(desktopFolder_, error);
        for (; !error && entries != fs::directory_iterator() && total < entriesLimit;
             entries.increment(error)) {
            if (isEntryFile(*entries)) {
                files.push_back(entries->path().string());
                ++total;
            }
        }
        logEnumerationError(error);
        std::sort(files.begin(), files.end());
    }
}

std::vector<LauncherFolder> LinuxCataloguePlatform::nameFolders() {
    // A list has found the entries as they are now already.
    if (!listing_) {
        scan();
    }
    std::vector<LauncherFolder> folders;
    for (const auto& folder : applicationFolders_) {
        folders.push_back({folder, true});
    }
    return folders;
}

std::vector<LauncherFolder> LinuxCataloguePlatform::listFolders() {
    std::vector<LauncherFolder> folders;
    for (const auto& folder : applicationFolders_) {
        folders.push_back({folder, true});
    }
    if (!desktopFolder_.empty()) {
        folders.push_back({desktopFolder_, false});
    }
    return folders;
}

std::vector<std::string> LinuxCataloguePlatform::launchers(const LauncherFolder& folder) {
    const auto found = entryFiles_.find(folder.path);
    return found == entryFiles_.end() ? std::vector<std::string>{} : found->second;
}

std::string LinuxCataloguePlatform::command(const std::string& name) const {
    auto executable = [](const fs::path& candidate) {
        std::error_code error;
        return fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0;
    };
    std::error_code error;
    if (name.starts_with('/')) {
        return executable(name) ? fs::canonical(name, error).string() : std::string{};
    }
    if (name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    for (const auto& folder : searchPath_) {
        const auto candidate = fs::path(folder) / name;
        if (executable(candidate)) {
            auto path = fs::canonical(candidate, error);
            return error ? std::string{} : path.string();
        }
    }
    return {};
}

std::optional<Launcher> LinuxCataloguePlatform::resolveLauncher(const std::string& file) {
    if (const auto known = resolved_.find(file); known != resolved_.end()) {
        return known->second;
    }
    auto& launcher = resolved_[file];
    const auto text = readSmallFile(file, entryLimit);
    const auto entry = text ? parseDesktopEntry(*text, locales_) : std::nullopt;
    if (!entry || !shownOn(*entry, desktops_) ||
        (!entry->tryExec.empty() && command(entry->tryExec).empty())) {
        return launcher;
    }
    auto program = command(execProgram(entry->exec));
    if (program.empty()) {
        return launcher;
    }
    auto name = entry->name.empty() ? fs::path(file).stem().string() : entry->name;
    launcher = Launcher{std::move(program), std::move(name), {entry->icon, 0}};
    return launcher;
}

IconSource LinuxCataloguePlatform::programIcon(const std::string& program) {
    if (!programIcons_) {
        // The icon of the first entry that starts the program, in the order
        // of the folders' precedence.
        programIcons_.emplace();
        for (const auto& folder : listFolders()) {
            for (const auto& file : entryFiles_[folder.path]) {
                if (const auto launcher = resolveLauncher(file)) {
                    programIcons_->try_emplace(lowerCase(launcher->program), launcher->icon.file);
                }
            }
        }
    }
    if (const auto found = programIcons_->find(lowerCase(program)); found != programIcons_->end()) {
        return {found->second, 0};
    }
    // Programs without an entry often have an icon of their own name.
    return {fs::path(program).filename().string(), 0};
}

std::string LinuxCataloguePlatform::iconBase64(const IconSource& source) {
    if (!theme_) {
        return {};
    }
    fs::path file(source.file);
    if (!file.is_absolute()) {
        auto name = source.file;
        // Names are given without extension, yet some entries add one.
        for (const std::string_view extension : {".png", ".svg", ".xpm"}) {
            if (name.ends_with(extension)) {
                name.resize(name.size() - extension.size());
            }
        }
        file = theme_->find(name, iconSize);
    }
    return file.empty() ? std::string{} : iconImageBase64(file, iconSize);
}

std::optional<std::int64_t> LinuxCataloguePlatform::now() {
    const auto seconds = std::time(nullptr);
    return seconds == static_cast<std::time_t>(-1) ? std::nullopt : std::optional<std::int64_t>(seconds);
}

} // namespace obx::linuxos
