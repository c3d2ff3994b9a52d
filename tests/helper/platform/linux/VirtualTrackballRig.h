#pragma once

// The helper's device layer and its worker over one virtual trackball of
// obxkernd, with the platform services a test installs: what the end-to-end
// tests of actions drive on every desktop.

#include "actions/PlatformServicesImpl.h"
#include "support/DaemonProcess.h"
#include "support/FakeDesktopQueries.h"
#include "support/TempFolder.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

namespace obx::test {

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
    // The trackball's own side, connected on first use.
    VirtualPeer& peer();

private:
    TempFolder config_;
    std::shared_ptr<DesktopState> desktop_ = std::make_shared<DesktopState>();
    DaemonProcess daemon_{OBXKERND_PATH};
    std::optional<VirtualPeer> peer_;
    bool started_ = false;
};

} // namespace obx::test
