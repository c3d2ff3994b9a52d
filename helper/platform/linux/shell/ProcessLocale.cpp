#include "platform/ProcessLocale.h"

#include <cstdlib>

namespace obx {

void setUserLocaleName(const char* name) {
    ::setenv("LC_ALL", name, 1);
}

// The C library's own: Boost.Locale's generator would bring ICU, whose tables
// were the largest part of an idle helper's memory, for nothing the helper
// uses.
std::locale userLocale() {
    return std::locale("");
}

} // namespace obx
