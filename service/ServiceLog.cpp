#include "service/ServiceLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace obx {

void ServiceLog::write(int level, const char* format, ...) {
    if (level < lowestWrittenLevel) {
        return;
    }
    char text[maxMessageLength + 1];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    const auto size = std::min(static_cast<std::size_t>(length), maxMessageLength);
    std::lock_guard lock(mutex_);
    sink_.write(std::string_view(text, size));
}

} // namespace obx
