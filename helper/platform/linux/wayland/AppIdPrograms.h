#pragma once

// The program of a Wayland app id, through the desktop entries as the
// program catalogue reads them: the entry whose StartupWMClass is the app id,
// else the entry whose desktop-file id is the app id, else the entry whose
// Exec program has the app id as its file name (letter case ignored in each).

#include "platform/linux/catalogue/LinuxCataloguePlatform.h"

#include <chrono>
#include <map>
#include <string>

namespace obx::wayland {

class AppIdPrograms {
public:
    explicit AppIdPrograms(linuxos::LinuxCataloguePlatform::Options options) : entries_(std::move(options)) {}

    // The canonical path of the program; empty when no entry names it.
    std::string program(const std::string& appId);

    // Answers are kept this long, so switching between windows reads no files.
    static constexpr std::chrono::seconds keep{60};
    static constexpr std::size_t maxKept = 256;

private:
    std::string lookUp(const std::string& appId);

    linuxos::LinuxCataloguePlatform entries_;
    std::map<std::string, std::string> kept_;
    std::chrono::steady_clock::time_point keptSince_{};
};

} // namespace obx::wayland
