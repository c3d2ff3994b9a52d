#pragma once

// The [Desktop Entry] group of a desktop entry file, read by freedesktop.org's
// desktop-entry rules, and the rules that decide whether a desktop shows the
// entry.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace obx::linuxos {

struct DesktopEntry {
    std::string type;
    std::string name; // in the best matching locale
    std::string exec;
    std::string tryExec;
    std::string icon;
    std::string startupWmClass; // the window class or Wayland app id its windows carry
    bool noDisplay = false;
    bool hidden = false;
    std::vector<std::string> onlyShowIn;
    std::vector<std::string> notShowIn;
};

// The locale keys to try for a localised value, best first, from a
// messages locale such as "de_AT.UTF-8@euro": de_AT@euro, de_AT, de@euro,
// de. None for "C", "POSIX" or an empty locale.
std::vector<std::string> localeKeys(std::string_view messagesLocale);

// Nothing when the text has no [Desktop Entry] group first.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text, const std::vector<std::string>& locales);

// The program of an Exec line: its first argument with the quoting undone;
// empty when the line is empty or its quoting is broken.
std::string execProgram(std::string_view exec);

// Whether a desktop whose names are currentDesktops (from
// $XDG_CURRENT_DESKTOP) shows the entry: an application, neither hidden nor
// kept from display, allowed by OnlyShowIn and NotShowIn.
bool shownOn(const DesktopEntry& entry, const std::vector<std::string>& currentDesktops);

// The text without the blanks (spaces, tabs, carriage returns) around it.
std::string_view trimmed(std::string_view text);

// The items of a list separated by the separator, empty items left out.
std::vector<std::string> splitList(std::string_view text, char separator);

} // namespace obx::linuxos
