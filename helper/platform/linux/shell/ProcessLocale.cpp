#include "platform/ProcessLocale.h"

#include <cstdlib>

namespace obx {

void setUserLocaleName(const char* name) {
    ::setenv("LC_ALL", name, 1);
}

} // namespace obx
