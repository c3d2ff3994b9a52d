#pragma once

// The helper's log: one call, a level and a text. The sinks (file with
// rotation, optional debugger output) and the level filter are set up once at
// start by openLog; until then records go wherever Boost.Log sends records
// when no sink exists.

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

namespace obx {

enum class LogLevel : int { trace = 0, debug = 1, info = 2, warning = 3, error = 4, fatal = 5 };

// "trace" .. "fatal"; "unknown" outside 0..5.
const char* logLevelName(int level);

void logText(LogLevel level, std::string_view text);

// True when a record of this level would be written by some sink: lets hot
// paths skip building texts nobody reads.
bool logEnabled(LogLevel level);

// Concatenates its arguments with operator<< and writes them as one record.
// Nothing is formatted when the level is filtered out.
template <typename... Parts>
void log(LogLevel level, const Parts&... parts) {
    if (!logEnabled(level)) {
        return;
    }
    std::ostringstream text;
    (text << ... << parts);
    logText(level, text.str());
}

// Lower-case hexadecimal without prefix, for log texts.
struct Hex {
    std::uint64_t value;
};
std::ostream& operator<<(std::ostream& out, Hex hex);

struct LogOptions {
    std::filesystem::path folder;
    int level = 2;
    bool debuggerOutput = false;
};

// Size at which a log file is closed and the next counter opened.
inline constexpr std::uintmax_t logRotationSize = 5 * 1024 * 1024;

// Opens the file sink "obxhelper_%2N.log" in options.folder (counter from 00,
// append, rotation at logRotationSize, flush per record), then the debugger
// sink if asked for, then the level filter and the common attributes.
void openLog(const LogOptions& options);

// Flushes and removes the sinks that openLog added.
void closeLog();

} // namespace obx
