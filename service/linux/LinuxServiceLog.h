#pragma once

// The service's log file on Linux: obxsvc.log in $TMPDIR, or in /tmp when
// that is unset, each message appended and also written to standard error,
// which the user's service manager keeps in its journal.

#include "service/ServiceLog.h"

#include <filesystem>

namespace obx::linuxos {

class LinuxServiceLogFile : public ServiceLogSink {
public:
    void write(std::string_view text) override;

    // The file a log made now would use.
    static std::filesystem::path defaultPath();

private:
    // Worked out at the first message and kept.
    std::filesystem::path path_;
};

} // namespace obx::linuxos
