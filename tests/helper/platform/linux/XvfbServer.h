#pragma once

// A private Xvfb for one test: started on a display number that the server
// picks itself (-displayfd), so that test programs running side by side never
// meet; stopped with the object.

#include <string>
#include <sys/types.h>

namespace obx::x11::test {

class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when the server did not start; failure() says why.
    const std::string& displayName() const { return displayName_; }
    const std::string& failure() const { return failure_; }

private:
    pid_t pid_ = -1;
    std::string displayName_;
    std::string failure_;
};

} // namespace obx::x11::test
