#pragma once

// A private Xvfb for one test: started on a display number that the server
// picks itself (-displayfd), so that test programs running side by side never
// meet; stopped with the object.

#include "ChildProcess.h"

#include <string>

namespace obx::x11::test {

class XvfbServer {
public:
    XvfbServer();

    // Empty when the server did not start; failure() says why.
    const std::string& displayName() const { return displayName_; }
    const std::string& failure() const { return process_.failure(); }

private:
    ChildProcess process_;
    std::string displayName_;
};

} // namespace obx::x11::test
