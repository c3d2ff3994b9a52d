#pragma once

// Finds a named icon by freedesktop.org's icon-theme lookup: the theme, the
// themes it inherits, then hicolor, then the bare base folders; in each
// theme the folder whose size is nearest the wanted one. Only PNG and SVG
// files count, PNG preferred at the same distance.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace obx::linuxos {

class IconTheme {
public:
    // baseFolders: ~/.icons, $XDG_DATA_DIRS/icons, /usr/share/pixmaps, in
    // that order of precedence.
    IconTheme(std::vector<std::filesystem::path> baseFolders, std::string themeName);

    // Empty when no file of the icon exists.
    std::filesystem::path find(const std::string& iconName, int size) const;

private:
    struct Folder {
        std::string path;
        int size = 0;
        int minSize = 0;
        int maxSize = 0;
        int threshold = 2;
        char type = 'T'; // Fixed, Scalable or Threshold
        int distance(int wanted) const;
    };
    struct Theme {
        std::vector<Folder> folders;
        std::vector<std::string> parents;
    };

    const Theme& theme(const std::string& name) const;
    std::filesystem::path findIn(const std::string& themeName, const std::string& iconName, int size,
                                 std::vector<std::string>& visited) const;
    std::filesystem::path lookup(const std::string& themeName, const Theme& theme,
                                 const std::string& iconName, int size) const;

    std::vector<std::filesystem::path> baseFolders_;
    std::string themeName_;
    mutable std::map<std::string, Theme> themes_;
};

} // namespace obx::linuxos
