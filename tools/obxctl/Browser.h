#pragma once

#include <string>

namespace obxctl {

// Opens address in the user's default browser through the desktop's opener
// (xdg-open), waiting for the opener to hand it over; throws when it could
// not.
void openInBrowser(const std::string& address);

} // namespace obxctl
