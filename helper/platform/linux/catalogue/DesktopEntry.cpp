#include "platform/linux/catalogue/DesktopEntry.h"

#include <algorithm>

namespace obx::linuxos {

namespace {

// \s, \n, \t, \r and \\ of string values; any other escape stays as written.
std::string unescaped(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += value[i];
        }
    }
    return text;
}

bool anyIn(const std::vector<std::string>& names, const std::vector<std::string>& desktops) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        return std::find(desktops.begin(), desktops.end(), name) != desktops.end();
    });
}

} // namespace

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> splitList(std::string_view text, char separator) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find(separator, start), text.size());
        if (end > start) {
            items.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return items;
}

std::vector<std::string> localeKeys(std::string_view messagesLocale) {
    std::string_view modifier;
    if (const auto at = messagesLocale.find('@'); at != std::string_view::npos) {
        modifier = messagesLocale.substr(at);
        messagesLocale = messagesLocale.substr(0, at);
    }
    messagesLocale = messagesLocale.substr(0, messagesLocale.find('.'));
    if (messagesLocale.empty() || messagesLocale == "C" || messagesLocale == "POSIX") {
        return {};
    }
    const auto language = messagesLocale.substr(0, messagesLocale.find('_'));
    std::vector<std::string> keys;
    auto add = [&](std::string key) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            keys.push_back(std::move(key));
        }
    };
    if (!modifier.empty()) {
        add(std::string(messagesLocale) + std::string(modifier));
    }
    add(std::string(messagesLocale));
    if (!modifier.empty()) {
        add(std::string(language) + std::string(modifier));
    }
    add(std::string(language));
    return keys;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text,
                                              const std::vector<std::string>& locales) {
    DesktopEntry entry;
    bool inGroup = false;
    // Index into locales of the localised name taken so far; locales.size()
    // for the unlocalised one, above it for none.
    auto nameRank = locales.size() + 1;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const auto line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (inGroup) {
                break;
            }
            if (line != "[Desktop Entry]") {
                return std::nullopt;
            }
            inGroup = true;
            continue;
        }
        const auto equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos) {
            continue;
        }
        const auto key = trimmed(line.substr(0, equals));
        const auto value = trimmed(line.substr(equals + 1));
        if (key == "Type") {
            entry.type = unescaped(value);
        } else if (key == "Exec") {
            entry.exec = unescaped(value);
        } else if (key == "TryExec") {
            entry.tryExec = unescaped(value);
        } else if (key == "Icon") {
            entry.icon = unescaped(value);
        } else if (key == "StartupWMClass") {
            entry.startupWmClass = unescaped(value);
        } else if (key == "NoDisplay") {
            entry.noDisplay = value == "true";
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        } else if (key == "OnlyShowIn") {
            entry.onlyShowIn = splitList(value, ';');
        } else if (key == "NotShowIn") {
            entry.notShowIn = splitList(value, ';');
        } else if (key.starts_with("Name")) {
            auto rank = locales.size();
            if (key.size() > 4) {
                if (key[4] != '[' || key.back() != ']') {
                    continue;
                }
                const auto locale = key.substr(5, key.size() - 6);
                rank = static_cast<std::size_t>(std::find(locales.begin(), locales.end(), locale) -
                                                locales.begin());
                if (rank == locales.size()) {
                    continue;
                }
            }
            if (rank < nameRank) {
                entry.name = unescaped(value);
                nameRank = rank;
            }
        }
    }
    if (!inGroup) {
        return std::nullopt;
    }
    return entry;
}

std::string execProgram(std::string_view exec) {
    std::string program;
    std::size_t i = 0;
    while (i < exec.size() && exec[i] == ' ') {
        ++i;
    }
    if (i < exec.size() && exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size() &&
                std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
                ++i;
            }
            program += exec[i];
        }
        return i < exec.size() ? program : std::string{};
    }
    for (; i < exec.size() && exec[i] != ' '; ++i) {
        program += exec[i];
    }
    return program;
}

bool shownOn(const DesktopEntry& entry, const std::vector<std::string>& currentDesktops) {
    if (entry.type != "Application" || entry.hidden || entry.noDisplay) {
        return false;
    }
    if (!entry.onlyShowIn.empty() && !anyIn(entry.onlyShowIn, currentDesktops)) {
        return false;
    }
    return !anyIn(entry.notShowIn, currentDesktops);
}

} // namespace obx::linuxos
