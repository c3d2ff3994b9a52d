#include "catalogue/ProgramNamesCache.h"

#include "actions/LowerCase.h"
#include "base/Log.h"

namespace obx {

void ProgramNamesCache::replace(const ApplicationSet& records, std::int64_t now) {
    names_.clear();
    records.forEach([this](const ApplicationRecord& record) {
        names_.try_emplace(lowerCase(record.program), record.name);
    });
    rebuiltAt_ = now;
}

std::string ProgramNamesCache::lookupProgramName(const std::string& path) const {
    const auto key = lowerCase(path);
    log(LogLevel::debug, "Looking up cache for the name of \"", key, "\"..");
    if (const auto found = names_.find(key); found != names_.end()) {
        return found->second;
    }
    logText(LogLevel::debug, "\tprogram binary not in name cache");
    return rules_.fileNameTitle(path);
}

} // namespace obx
