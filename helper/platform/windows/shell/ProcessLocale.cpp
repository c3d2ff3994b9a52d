#include "platform/ProcessLocale.h"

#include <boost/locale/generator.hpp>
#include <cstdlib>

namespace obx {

// The C library reads the user's locale from LC_ALL first, as on other
// systems; the programs the helper starts inherit it.
void setUserLocaleName(const char* name) {
    ::_putenv_s("LC_ALL", name);
}

// The C++ library of this system knows no locale by name but "C"; Boost.Locale
// provides the user's, with UTF-8 narrow text.
std::locale userLocale() {
    return boost::locale::generator()("");
}

} // namespace obx
