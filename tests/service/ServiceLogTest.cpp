#include "ServiceFakes.h"

#include <gtest/gtest.h>

namespace obx::test {
namespace {

TEST(ServiceLogTest, LevelsBelowTwoAreDroppedAndTheTextIsWrittenAsFormatted) {
    RecordingSink sink;
    ServiceLog log{sink};
    log.write(0, "Error setting registry value: %d\n", 2);
    log.write(1, "QL Downloader service - command line: %s\n", "obxsvc -debug");
    log.write(2, "Failed to duplicate token, %d\n", 1314);
    log.write(3, "%s", "three");
    log.write(4, "Failed to create process(1) as user, %d\n", -5);
    EXPECT_EQ(sink.text(), "Failed to duplicate token, 1314\nthreeFailed to create process(1) as user, -5\n");
}

TEST(ServiceLogTest, AnOverlongMessageIsCut) {
    RecordingSink sink;
    ServiceLog log{sink};
    const std::string longArgument(50'000, 'x');
    log.write(4, "line: %s\n", longArgument.c_str());
    EXPECT_EQ(sink.text(), "line: " + std::string(ServiceLog::maxMessageLength - 6, 'x'));
}

} // namespace
} // namespace obx::test
