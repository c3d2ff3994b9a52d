#include "platform/linux/catalogue/IconTheme.h"

#include "platform/linux/catalogue/DesktopEntry.h"
#include "platform/linux/catalogue/SmallFile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>

namespace obx::linuxos {

namespace {

constexpr std::size_t indexLimit = 1 << 20;
// Inherits chains longer than this are broken ones.
constexpr std::size_t themeDepth = 16;
constexpr const char* extensions[] = {".png", ".svg"};

int number(const std::string& text, int fallback) {
    int value = fallback;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() ? value : fallback;
}

bool fileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

int IconTheme::Folder::distance(int wanted) const {
    switch (type) {
    case 'F':
        return std::abs(size - wanted);
    case 'S':
        return wanted < minSize ? minSize - wanted : wanted > maxSize ? wanted - maxSize : 0;
    default:
        return wanted < size - threshold   ? size - threshold - wanted
               : wanted > size + threshold ? wanted - size - threshold
                                           : 0;
    }
}

IconTheme::IconTheme(std::vector<std::filesystem::path> baseFolders, std::string themeName)
    : baseFolders_(std::move(baseFolders)), themeName_(std::move(themeName)) {}

const IconTheme::Theme& IconTheme::theme(const std::string& name) const {
    if (const auto known = themes_.find(name); known != themes_.end()) {
        return known->second;
    }
    Theme& theme = themes_[name];
    std::optional<std::string> text;
    for (const auto& base : baseFolders_) {
        if ((text = readSmallFile(base / name / "index.theme", indexLimit))) {
            break;
        }
    }
    if (!text) {
        return theme;
    }
    // Groups by name, each a map of its keys.
    std::map<std::string, std::map<std::string, std::string>> groups;
    std::map<std::string, std::string>* group = nullptr;
    for (const auto& line : splitList(*text, '\n')) {
        const std::string clean(trimmed(line));
        if (clean.size() > 2 && clean.front() == '[' && clean.back() == ']') {
            group = &groups[clean.substr(1, clean.size() - 2)];
        } else if (const auto equals = clean.find('='); group && equals != std::string::npos) {
            (*group)[std::string(trimmed(clean.substr(0, equals)))] = trimmed(clean.substr(equals + 1));
        }
    }
    auto& head = groups["Icon Theme"];
    theme.parents = splitList(head["Inherits"], ',');
    for (const auto& path : splitList(head["Directories"], ',')) {
        auto& keys = groups[path];
        if (number(keys["Scale"], 1) != 1) {
            continue;
        }
        Folder folder;
        folder.path = path;
        folder.size = number(keys["Size"], 0);
        folder.minSize = number(keys["MinSize"], folder.size);
        folder.maxSize = number(keys["MaxSize"], folder.size);
        folder.threshold = number(keys["Threshold"], 2);
        const auto& type = keys["Type"];
        folder.type = type == "Fixed" ? 'F' : type == "Scalable" ? 'S' : 'T';
        theme.folders.push_back(std::move(folder));
    }
    return theme;
}

std::filesystem::path IconTheme::lookup(const std::string& themeName, const Theme& theme,
                                        const std::string& iconName, int size) const {
    std::filesystem::path closest;
    int closestDistance = INT_MAX;
    for (const char* extension : extensions) {
        for (const auto& folder : theme.folders) {
            const int distance = folder.distance(size);
            if (distance >= closestDistance) {
                continue;
            }
            for (const auto& base : baseFolders_) {
                auto candidate = base / themeName / folder.path / (iconName + extension);
                if (fileExists(candidate)) {
                    closest = std::move(candidate);
                    closestDistance = distance;
                    break;
                }
            }
        }
        // A PNG at the best distance wins; an SVG only when it is nearer.
        if (closestDistance == 0) {
            break;
        }
    }
    return closest;
}

std::filesystem::path IconTheme::findIn(const std::string& themeName, const std::string& iconName, int size,
                                        std::vector<std::string>& visited) const {
    if (visited.size() >= themeDepth ||
        std::find(visited.begin(), visited.end(), themeName) != visited.end()) {
        return {};
    }
    visited.push_back(themeName);
    const auto& found = theme(themeName);
    if (auto file = lookup(themeName, found, iconName, size); !file.empty()) {
        return file;
    }
    for (const auto& parent : found.parents) {
        if (auto file = findIn(parent, iconName, size, visited); !file.empty()) {
            return file;
        }
    }
    return {};
}

std::filesystem::path IconTheme::find(const std::string& iconName, int size) const {
    if (iconName.empty() || iconName.find('/') != std::string::npos) {
        return {};
    }
    std::vector<std::string> visited;
    auto file = findIn(themeName_, iconName, size, visited);
    if (file.empty()) {
        file = findIn("hicolor", iconName, size, visited);
    }
    if (!file.empty()) {
        return file;
    }
    for (const char* extension : extensions) {
        for (const auto& base : baseFolders_) {
            if (auto candidate = base / (iconName + extension); fileExists(candidate)) {
                return candidate;
            }
        }
    }
    return {};
}

} // namespace obx::linuxos
