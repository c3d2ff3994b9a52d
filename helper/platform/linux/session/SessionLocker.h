#pragma once

// Locks the user's session: logind's LockSession on the system bus, and when
// that fails the commands that ask the desktop's locker directly.

#include <string>
#include <vector>

namespace obx::x11 {

class SessionLocker {
public:
    // fallbacks: commands tried in order until one exits with 0.
    explicit SessionLocker(std::vector<std::vector<std::string>> fallbacks);
    SessionLocker();

    // True when some way reported success.
    bool lock() const;

private:
    bool lockThroughLogind() const;

    std::vector<std::vector<std::string>> fallbacks_;
};

} // namespace obx::x11
