#pragma once

// Naming the process's locale for everything that asks the system for the
// user's one (the C++ library's std::locale(""), Boost.Filesystem's path
// conversion). Each platform folder provides it.

#include <locale>

namespace obx {

// From now on the user's locale is name (on Linux: LC_ALL, which the
// programs the helper starts inherit as well).
void setUserLocaleName(const char* name);

// The user's locale as the process's global one: the helper uses it for
// UTF-8 text and paths only.
std::locale userLocale();

} // namespace obx
