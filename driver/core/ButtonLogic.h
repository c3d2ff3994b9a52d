#pragma once

#include "driver/core/ButtonMap.h"
#include "driver/core/ButtonOutput.h"
#include "driver/core/ScrollState.h"

#include <array>
#include <cstdint>

namespace obx::driver {

// Button changes under the button map: the chord window that holds presses back, the swallowing of
// a fired chord's releases, map entries of both kinds and the driver actions.
class ButtonLogic {
public:
    static constexpr uint32_t kMaxQueuedChanges = 16;

    ButtonLogic(ScrollState& scroll, IButtonOutput& out) : scroll_(scroll), out_(out) {}

    void change(uint32_t pressed, uint32_t released);
    void pan(int32_t value);
    void chordWindowEnd();

    void setMap(const ButtonMap& map) { map_ = map; }
    const ButtonMap& map() const { return map_; }
    void setHelperRegistered(bool registered) { helperRegistered_ = registered; }
    bool helperRegistered() const { return helperRegistered_; }
    uint32_t rawButtons() const { return raw_; }

private:
    struct Change {
        uint32_t pressed = 0;
        uint32_t released = 0;
    };

    void holdBackForChord(uint32_t& pressed, uint32_t& released);
    void queue(uint32_t pressed, uint32_t released);
    void dispatch(uint32_t pressed, uint32_t released);
    void fireChord();
    void replayQueue();
    void perform(const MapEntry& entry);

    ScrollState& scroll_;
    IButtonOutput& out_;
    ButtonMap map_;
    bool helperRegistered_ = false;
    uint32_t raw_ = 0;
    bool chordTimerFlag_ = false;
    uint32_t swallow_ = 0;
    uint32_t pending_ = 0;
    uint32_t queuedCount_ = 0;
    std::array<Change, kMaxQueuedChanges> queued_{};
};

} // namespace obx::driver
