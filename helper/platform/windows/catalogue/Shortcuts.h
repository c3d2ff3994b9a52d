#pragma once

// Shortcut files (".lnk") of the desktop and the Start Menu, and what they
// lead to.

#include <string>
#include <string_view>
#include <vector>

namespace obx::windows {

// Full paths of the files whose names contain ".lnk" in a folder and, when
// recursive, in its subfolders (depth first), in the order the system lists
// them. A folder that cannot be read adds nothing and is logged; an empty
// path gives nothing.
std::vector<std::wstring> collectShortcuts(std::wstring folder, bool recursive);

struct ShortcutTarget {
    std::wstring path; // empty when the shortcut could not be read
    std::wstring iconLocation;
    int iconIndex = 0;
};

// Reads the target and icon that a shortcut file holds, as they are written
// in it: the shortcut is not resolved (IShellLink::Resolve looks at the target
// and may search for it, also on the network, or follow its tracking
// information to another machine), so neither is opened nor looked for.
// Needs COM on the calling thread.
ShortcutTarget readShortcut(const std::wstring& shortcut);

// The file name without its ".lnk"; empty when the path has no folder.
std::wstring shortcutDisplayName(std::wstring_view shortcut);

} // namespace obx::windows
