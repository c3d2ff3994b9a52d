#include "Log.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace obx::kernd {

namespace {

constexpr std::array<std::string_view, 4> kLevelNames = {"debug", "info", "warning", "error"};

std::atomic<LogLevel> threshold{LogLevel::info};

} // namespace

void setLogLevel(LogLevel level) {
    threshold = level;
}

bool logEnabled(LogLevel level) {
    return level >= threshold.load();
}

bool parseLogLevel(std::string_view text, LogLevel& level) {
    for (size_t i = 0; i < kLevelNames.size(); ++i) {
        if (text == kLevelNames[i]) {
            level = static_cast<LogLevel>(i);
            return true;
        }
    }
    return false;
}

void logf(LogLevel level, const char* format, ...) {
    if (!logEnabled(level))
        return;
    std::array<char, 1024> line;
    const std::string_view name = kLevelNames[static_cast<size_t>(level)];
    int used = std::snprintf(line.data(), line.size(), "obxkernd: %.*s: ", static_cast<int>(name.size()),
                             name.data());
    va_list args;
    va_start(args, format);
    const int text = std::vsnprintf(line.data() + used, line.size() - used, format, args);
    va_end(args);
    used = text < 0 ? used : std::min<int>(used + text, static_cast<int>(line.size()) - 2);
    line[used++] = '\n';
    // One write per record keeps the lines of concurrent writers whole.
    if (::write(STDERR_FILENO, line.data(), used) < 0)
        return; // nowhere left to report it
}

} // namespace obx::kernd
