#pragma once

// The helper's device layer and its worker over one virtual trackball of
// obxkernd, with the platform services a test installs: what the end-to-end
// tests of actions drive on every desktop.

#include "actions/PlatformServicesImpl.h"
#include "support/FakeDesktopQueries.h"
#include "support/TempFolder.h"

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>

namespace obx::test {

// Kept out of this header: the daemon's test support and the helper
// program's both name their time-outs kWait.
class DaemonProcess;
class VirtualPeer;

class VirtualTrackballRig {
public:
    static constexpr std::uint16_t product = 0x0101;

    // Installs the services and waits for the trackball; see started().
    explicit VirtualTrackballRig(std::unique_ptr<PlatformServicesImpl> services);
    ~VirtualTrackballRig();
    VirtualTrackballRig(const VirtualTrackballRig&) = delete;
    VirtualTrackballRig& operator=(const VirtualTrackballRig&) = delete;

    // Whether the daemon ran and the device layer opened its trackball.
    bool started() const { return started_; }
    // The global profile's action of the buttons in mask.
    void setAction(std::uint32_t mask, const nlohmann::json& action);
    // A report of the trackball's built-in layout; false when it was not taken.
    bool send(std::uint8_t buttons, std::int8_t x = 0, std::int8_t y = 0, std::int8_t wheel = 0);
    // Sends a move and expects it to be the trackball's first packet since
    // the last: what came before moved, scrolled or clicked through the driver.
    void expectNothingBeforeAMove();

private:
    VirtualPeer& peer();

    TempFolder config_;
    std::shared_ptr<DesktopState> desktop_ = std::make_shared<DesktopState>();
    std::unique_ptr<DaemonProcess> daemon_;
    std::unique_ptr<VirtualPeer> peer_;
    bool started_ = false;
};

} // namespace obx::test
