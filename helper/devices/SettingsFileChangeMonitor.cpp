#include "devices/SettingsFileChangeMonitor.h"

#include "base/Log.h"
#include "base/MsgWFMOHandler.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"

#include <array>
#include <fstream>
#include <mutex>

namespace obx {

SettingsFileChangeMonitor::SettingsFileChangeMonitor(MsgWFMOHandler& worker,
                                                     std::unique_ptr<IFileChangeWatch> watch,
                                                     std::function<Settings*()> heldSettings,
                                                     std::function<void()> reload)
    : worker_(worker), watch_(std::move(watch)), heldSettings_(std::move(heldSettings)),
      reload_(std::move(reload)) {
    worker_.addWaitHandler(watch_->handle(), this, &SettingsFileChangeMonitor::onChange);
}

SettingsFileChangeMonitor::~SettingsFileChangeMonitor() {
    std::lock_guard guard(worker_);
    worker_.removeWaitHandler(watch_->handle());
}

void SettingsFileChangeMonitor::onChange() {
    std::lock_guard guard(worker_);
    watch_->rearm();
    if (fileDiffersFromHeld()) {
        log(LogLevel::info, "Settings file change detected");
        reload_();
    }
}

bool SettingsFileChangeMonitor::fileDiffersFromHeld() {
    const auto* held = heldSettings_();
    if (held == nullptr) {
        return false;
    }
    const auto path = settingsFilePath();
    if (held->savedFileIdentity() && fileIdentity(path) == held->savedFileIdentity()) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // Gone or being replaced: the next change tells.
        return false;
    }
    content_.clear();
    std::array<char, 65536> chunk;
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        content_.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    if (content_ == held->savedText()) {
        return false;
    }
    try {
        return nlohmann::json::parse(content_) != held->toJson();
    } catch (const nlohmann::json::exception&) {
        // Not what the helper writes; the reload reports it.
        return true;
    }
}

} // namespace obx
