#pragma once

// logind for one test: a private bus (dbus-daemon with the session
// configuration, so that no privilege is needed) and python-dbusmock's
// logind template on it, which writes every method call it answers to a
// file. Both end with the object.

#include "ChildProcess.h"

#include <filesystem>
#include <string>
#include <vector>

namespace obx::x11::test {

class LogindMock {
public:
    // callLog: the file that the mock writes its calls to.
    explicit LogindMock(std::filesystem::path callLog);

    // Empty when the bus did not start.
    const std::string& busAddress() const { return bus_.report(); }
    // Waits until logind answers on the bus with its methods; false when it
    // did not within the generous wait.
    bool waitUntilReady() const;
    // The calls answered so far, oldest first, as the mock writes them:
    // the method name and its arguments, e.g. LockSession "c2".
    std::vector<std::string> calls() const;
    // From now on LockSession answers with an access-denied error.
    bool refuseLockSession() const;

private:
    ChildProcess bus_;
    std::filesystem::path callLog_;
    ChildProcess mock_;
};

} // namespace obx::x11::test
