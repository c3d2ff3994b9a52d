#pragma once

// obxkernd's socket of the pointing devices that it does not serve (driver/linux/wire/
// PointingDeviceWire.h): their list, and choosing one to be served or letting it go. The daemon's
// runtime folder is $OBX_RUNTIME_DIR, else /run/obxkern.

#include <stdexcept>
#include <string>

namespace obxctl {

// The daemon is not there, or refused the request (its reason is the text).
class DaemonFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DaemonClient {
public:
    DaemonClient();
    ~DaemonClient();
    DaemonClient(const DaemonClient&) = delete;
    DaemonClient& operator=(const DaemonClient&) = delete;

    // The list message: "pointing-devices COUNT" and a line a device.
    std::string list();
    // "take VVVV:PPPP" or "release VVVV:PPPP"; throws DaemonFailure with the daemon's reason.
    void request(const std::string& text);

private:
    std::string next();
    void send(const std::string& text);

    std::string path_;
    int fd_ = -1;
};

} // namespace obxctl
