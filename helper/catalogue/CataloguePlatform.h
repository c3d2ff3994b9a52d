#pragma once

// What the program catalogue asks of the system: the programs of the open
// windows, the folders of launchers (shortcuts, desktop entries) and what
// they lead to, icons as PNG, and the clock. Each system has its own; tests
// give a scripted one.

#include "catalogue/ProgramRules.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace obx {

// Where an icon comes from: a file (a program, an icon file, a theme icon's
// name) and, where a file holds several, the index of one.
struct IconSource {
    std::string file;
    int index = 0;
};

// What a launcher file leads to.
struct Launcher {
    std::string program; // the target program's path, letter case kept
    std::string name;    // the launcher's display name
    IconSource icon;
};

struct LauncherFolder {
    std::string path;
    bool recursive = false;
};

class ICataloguePlatform {
public:
    virtual ~ICataloguePlatform() = default;

    virtual const ProgramRules& rules() const = 0;

    // Brackets one list (the component runtime and the imaging library where
    // the system needs them); endList is called on every path.
    virtual void beginList() {}
    virtual void endList() noexcept {}

    // The programs of the open top-level windows that a user would call
    // applications, topmost first, only those that run on this machine;
    // enumeration stops as soon as visit returns false.
    virtual void visitWindowPrograms(const std::function<bool(const std::string& program)>& visit) = 0;

    // The folders searched for the list, in order, and those that give the
    // names cache, in order of precedence.
    virtual std::vector<LauncherFolder> listFolders() = 0;
    virtual std::vector<LauncherFolder> nameFolders() = 0;
    // The launcher files of one folder, in the system's order; an unreadable
    // folder gives none and is logged.
    virtual std::vector<std::string> launchers(const LauncherFolder& folder) = 0;
    // Nothing when the launcher cannot be read or leads nowhere.
    virtual std::optional<Launcher> resolveLauncher(const std::string& file) = 0;

    // The icon that stands for a program found through its window.
    virtual IconSource programIcon(const std::string& program) = 0;
    // The icon as the Base64 text of a PNG image; empty when none can be made.
    virtual std::string iconBase64(const IconSource& source) = 0;

    // Seconds since 1970; nothing when the clock cannot tell.
    virtual std::optional<std::int64_t> now() = 0;
};

} // namespace obx
