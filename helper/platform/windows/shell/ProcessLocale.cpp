#include "platform/ProcessLocale.h"

#include <cstdlib>

namespace obx {

// The C library reads the user's locale from LC_ALL first, as on other
// systems; the programs the helper starts inherit it.
void setUserLocaleName(const char* name) {
    ::_putenv_s("LC_ALL", name);
}

} // namespace obx
