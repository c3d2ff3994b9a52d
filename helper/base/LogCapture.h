#pragma once

// Collects the log records written while it exists, whatever the level filter
// of the file sink: for tests that check what a piece of code logs.

#include "base/Log.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace obx {

struct LogRecord {
    LogLevel level;
    std::string text;
    bool operator==(const LogRecord&) const = default;
};

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const;
    std::vector<std::string> texts() const;
    bool contains(LogLevel level, const std::string& text) const;
    void clear();

    struct Store;

private:
    std::shared_ptr<Store> store_;
    std::shared_ptr<void> sink_;
};

} // namespace obx
