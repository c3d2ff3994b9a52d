#pragma once

// Display names of the installed programs, keyed by the lower-cased program
// path, with the time of the last rebuild. It has no lock: it is built before
// the command server runs, and only that server's one thread uses it later.

#include "catalogue/ApplicationSet.h"
#include "catalogue/ProgramRules.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace obx {

class ProgramNamesCache {
public:
    explicit ProgramNamesCache(const ProgramRules& rules) : rules_(rules) {}

    // Replaces the names with those of the records (in program order, the
    // first of a key kept) and notes the time, in seconds since 1970.
    void replace(const ApplicationSet& records, std::int64_t now);
    // Whether a day has passed since the last rebuild (or none was made).
    bool stale(std::int64_t now) const { return now - rebuiltAt_ > secondsPerDay; }

    // The cached name, else the program's file name as a title.
    std::string lookupProgramName(const std::string& path) const;

    static constexpr std::int64_t secondsPerDay = 86400;

private:
    const ProgramRules& rules_;
    std::unordered_map<std::string, std::string> names_;
    std::int64_t rebuiltAt_ = 0;
};

} // namespace obx
