#pragma once

// The product's web page, opened in the user's session.

#include "service/ServiceLog.h"

namespace obx {

// The page's address. Kept in this one place; the address below is a
// neutral placeholder for the real product page.
inline constexpr const char* productPageAddress = "https://www.example.com/quellane";

class PageOpener {
public:
    virtual ~PageOpener() = default;
    // Starts the system's page opener with address; answers 0 or the
    // system's error code.
    virtual int open(const char* address) = 0;
};

// Opens the product page and logs the outcome.
void openProductPage(PageOpener& opener, ServiceLog& log);

} // namespace obx
