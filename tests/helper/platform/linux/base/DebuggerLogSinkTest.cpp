#include "base/Log.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace obx {
namespace {

// On Linux the debugger output is standard error.
TEST(LinuxDebuggerLogSink, WritesMessageTextOnlyWithTheFileFilter) {
    test::TempFolder folder;
    ::testing::internal::CaptureStderr();
    openLog({folder.path(), 2, true});
    logText(LogLevel::debug, "filtered out");
    logText(LogLevel::info, "to the debugger");
    closeLog();
    const auto output = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(output, "to the debugger\n");
}

} // namespace
} // namespace obx
