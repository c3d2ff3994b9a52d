#pragma once

// The service's log: the formatted message text only, no time stamp and no
// level, handed to a sink that sends it to the debugger output and appends it
// to the log file. Messages below level 2 are dropped.

#include <cstddef>
#include <mutex>
#include <string_view>

namespace obx {

class ServiceLogSink {
public:
    virtual ~ServiceLogSink() = default;
    // Failures to write are the sink's to ignore.
    virtual void write(std::string_view text) = 0;
};

class ServiceLog {
public:
    static constexpr int lowestWrittenLevel = 2;
    // Longer messages are cut: a command line can be tens of thousands of
    // characters long.
    static constexpr std::size_t maxMessageLength = 4096;

    explicit ServiceLog(ServiceLogSink& sink) : sink_(sink) {}

    // level 0 to 4; format as printf's, in UTF-8.
    void write(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

private:
    ServiceLogSink& sink_;
    // Messages of several threads arrive whole.
    std::mutex mutex_;
};

} // namespace obx
