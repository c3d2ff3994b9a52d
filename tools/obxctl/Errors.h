#pragma once

// The three ways a run fails, each with its exit code.

#include <stdexcept>
#include <string>

namespace obxctl {

inline constexpr int exitHelperFailure = 1;
inline constexpr int exitNoHelper = 2;
inline constexpr int exitUsage = 64; // EX_USAGE

// The command line asks for something that cannot be done as written.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The helper answered with a failure, or with something that is no answer.
class HelperFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Nothing listens on the helper's port.
class NoHelper : public std::runtime_error {
public:
    explicit NoHelper(unsigned short port)
        : std::runtime_error("no helper is listening on 127.0.0.1:" + std::to_string(port) +
                             " (is obxhelper running? the port is --port or OBX_HTTP_PORT)") {}
};

} // namespace obxctl
