#pragma once

// How a system names its programs: what separates the folders of a path,
// what ends a program's file name, and the programs never offered (the
// helper, the configuration application, the desktop's own shell).

#include <span>
#include <string>
#include <string_view>

namespace obx {

struct ProgramRules {
    std::string_view separator;        // "\\" or "/"
    std::string_view executableSuffix; // ".exe"; empty where programs have none
    // A program whose lower-cased path contains one of these is left out.
    std::span<const std::string_view> excludedTexts;

    // loweredPath: the path with A to Z lower-cased.
    bool excluded(std::string_view loweredPath) const;
    // Whether a launcher's lower-cased target names a program: with a suffix,
    // its first occurrence must end the target (so "c:\\a.exe\\b" and a
    // folder do not qualify); without one, any target does.
    bool launchable(std::string_view loweredTarget) const;
    // The name of a program that no launcher names: its file name, cut at the
    // suffix, with the first letter upper-cased; empty when a suffix is
    // wanted and missing.
    std::string fileNameTitle(std::string_view path) const;
};

extern const ProgramRules windowsPrograms;
extern const ProgramRules linuxPrograms;

} // namespace obx
