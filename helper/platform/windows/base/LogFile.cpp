#include "platform/LogFile.h"

#include <stdio.h>

namespace obx {

// "N": the handle is not inherited by the programs the helper starts.
std::FILE* openLogFile(const std::filesystem::path& path) {
    return ::_wfopen(path.c_str(), L"abN");
}

} // namespace obx
