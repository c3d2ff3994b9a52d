#pragma once

// The daemon's log: one line per record on standard error, with its level. Records are formatted into a
// buffer on the stack, so a record written from the report path allocates nothing.

#include <string_view>

namespace obx::kernd {

enum class LogLevel : int { debug = 0, info = 1, warning = 2, error = 3 };

// Records below the level are not written.
void setLogLevel(LogLevel level);
bool logEnabled(LogLevel level);

// "debug", "info", "warning", "error"; false when the text names none of them.
bool parseLogLevel(std::string_view text, LogLevel& level);

void logf(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace obx::kernd
