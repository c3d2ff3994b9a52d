#include "platform/linux/wayland/AppIdPrograms.h"

#include "actions/LowerCase.h"
#include "platform/linux/catalogue/DesktopEntry.h"
#include "platform/linux/catalogue/SmallFile.h"

#include <array>
#include <filesystem>
#include <optional>

namespace obx::wayland {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t entryLimit = 1 << 20;

enum Match { byWindowClass, byEntryId, byExecName, matchKinds };

// The desktop-file id: the path below the applications folder, "/" read as
// "-", without ".desktop".
std::string entryId(const std::string& folder, const std::string& file) {
    auto id = fs::path(file).lexically_relative(folder).replace_extension().string();
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

} // namespace

std::string AppIdPrograms::program(const std::string& appId) {
    const auto now = std::chrono::steady_clock::now();
    if (now - keptSince_ > keep || kept_.size() >= maxKept) {
        kept_.clear();
        keptSince_ = now;
    }
    const auto known = kept_.find(appId);
    if (known != kept_.end()) {
        return known->second;
    }
    return kept_[appId] = lookUp(appId);
}

std::string AppIdPrograms::lookUp(const std::string& appId) {
    if (appId.empty()) {
        return {};
    }
    const auto wanted = lowerCase(appId);
    std::array<std::optional<std::string>, matchKinds> found;
    for (const auto& folder : entries_.nameFolders()) {
        for (const auto& file : entries_.launchers(folder)) {
            const auto text = linuxos::readSmallFile(file, entryLimit);
            const auto entry = text ? linuxos::parseDesktopEntry(*text, {}) : std::nullopt;
            if (!entry) {
                continue;
            }
            std::array<bool, matchKinds> matches{
                lowerCase(entry->startupWmClass) == wanted, lowerCase(entryId(folder.path, file)) == wanted,
                lowerCase(fs::path(linuxos::execProgram(entry->exec)).filename().string()) == wanted};
            for (int kind = 0; kind < matchKinds; ++kind) {
                if (matches[kind] && !found[kind]) {
                    const auto launcher = entries_.resolveLauncher(file);
                    if (launcher) {
                        found[kind] = launcher->program;
                    }
                }
            }
            if (found[byWindowClass]) {
                return *found[byWindowClass];
            }
        }
    }
    for (const auto& program : found) {
        if (program) {
            return *program;
        }
    }
    return {};
}

} // namespace obx::wayland
