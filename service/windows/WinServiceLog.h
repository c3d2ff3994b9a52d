#pragma once

// The service's log on Windows: the debugger output, and obxsvc.log in the
// temporary folder of the account that runs the program.

#include "service/ServiceLog.h"

#include <string>

namespace obx::win {

class WinServiceLogFile : public ServiceLogSink {
public:
    void write(std::string_view text) override;

    // The file a log made now would use; empty when the system names no
    // temporary folder.
    static std::wstring defaultPath();

private:
    // Worked out at the first message and kept.
    std::wstring path_;
    bool pathKnown_ = false;
};

} // namespace obx::win
