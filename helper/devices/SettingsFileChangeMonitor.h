#pragma once

// Reloads the settings when another program has changed the settings file.
// The helper's own saves write what it holds, so a file whose content equals
// the held settings is no change. Each own save wakes the watch: the file
// that save left (the same file, size and times) is told apart without
// reading it; a file byte for byte the text the held settings last saved is
// told apart by a comparison of the bytes, without reading it as JSON.

#include "devices/DeviceLayerPlatform.h"

#include <functional>
#include <memory>
#include <string>

namespace obx {

class MsgWFMOHandler;
class Settings;

class SettingsFileChangeMonitor {
public:
    // reload runs on the worker, with the worker lock held.
    SettingsFileChangeMonitor(MsgWFMOHandler& worker, std::unique_ptr<IFileChangeWatch> watch,
                              std::function<Settings*()> heldSettings, std::function<void()> reload);
    // Withdraws the watch from the worker.
    ~SettingsFileChangeMonitor();
    SettingsFileChangeMonitor(const SettingsFileChangeMonitor&) = delete;
    SettingsFileChangeMonitor& operator=(const SettingsFileChangeMonitor&) = delete;

private:
    void onChange();
    bool fileDiffersFromHeld();

    MsgWFMOHandler& worker_;
    std::unique_ptr<IFileChangeWatch> watch_;
    std::function<Settings*()> heldSettings_;
    std::function<void()> reload_;
    // The file's content; kept between changes so that its room is reused.
    std::string content_;
};

} // namespace obx
