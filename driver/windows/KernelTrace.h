#pragma once

// The core's trace in the kernel: no record of each step (the report path runs at dispatch level for
// every report), and its faults to the kernel debugger's output, which the system's debugging tools
// and DbgView show.

#include "KernelHeaders.h"
#include "driver/core/Framework.h"

namespace obx::windows {

class KernelTrace final : public driver::IDebugTrace {
public:
    void transition(const char*, const char*, const char*, const char*) override {}
    void error(const char* text) override {
        DbgPrintEx(DPFLTR_IHVDRIVER_ID, DPFLTR_ERROR_LEVEL, "obxkern: %s\n", text);
    }
};

} // namespace obx::windows
