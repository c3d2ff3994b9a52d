#pragma once

// The record of the notification on Linux: a small JSON file,
// {"DownloadNotified": <seconds since 1970-01-01 UTC>}, replaced whole in one
// step so that a crash leaves either no record or a complete one.

#include "service/NotifySequence.h"

#include <filesystem>

namespace obx::linuxos {

class StateFile : public NotificationRecord {
public:
    explicit StateFile(std::filesystem::path path) : path_(std::move(path)) {}

    // $XDG_STATE_HOME/Halvex/Ombrix/notification.json, with ~/.local/state
    // when XDG_STATE_HOME is unset, empty or relative; empty without a home.
    static std::filesystem::path defaultPath(const char* stateHome, const char* home);

    // A missing, unreadable or malformed file, or a zero time, is no record.
    bool notified() override;
    int write(std::int64_t secondsSinceEpoch) override;

private:
    std::filesystem::path path_;
};

} // namespace obx::linuxos
