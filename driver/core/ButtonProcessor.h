#pragma once

#include "driver/core/ButtonLogic.h"
#include "driver/core/ButtonMap.h"
#include "driver/core/ButtonOutput.h"
#include "driver/core/GestureLogic.h"
#include "driver/core/MotionLogic.h"
#include "driver/core/ScrollState.h"
#include "driver/shared/ObxControl.h"

#include <cstdint>

namespace obx::driver {

// All pointer, wheel and button state of one trackball and the settings that the helper pushes. It
// produces its output only through IButtonOutput. Not thread-safe: the filter device serialises every
// call under its device lock.
class ButtonProcessor {
public:
    explicit ButtonProcessor(IButtonOutput& out)
        : motion_(scroll_, out), gesture_(out), buttons_(scroll_, out, gesture_) {}
    ButtonProcessor(const ButtonProcessor&) = delete;
    ButtonProcessor& operator=(const ButtonProcessor&) = delete;

    void buttonChange(uint32_t pressed, uint32_t released) { buttons_.change(pressed, released); }
    // `multiplier`: the pan's reports to a detent (its Resolution Multiplier).
    void pan(int32_t value, int32_t multiplier = 1);
    // Raw counts: a held gesture adds them up before slow pointer and single axis change them.
    void movement(int32_t dx, int32_t dy);
    // `delta` in wheel-delta units (kWheelDelta a detent).
    void verticalWheel(int32_t delta);
    void timerTick(uint32_t id);
    // The device is going: a held gesture ends without output.
    void removal() { gesture_.removal(); }

    bool slowPointer() const { return motion_.slowPointer(); }
    void setSlowPointer(bool on) { motion_.setSlowPointer(on); }
    bool singleAxis() const { return motion_.singleAxis(); }
    void setSingleAxis(bool on) { motion_.setSingleAxis(on); }
    // Wheel 0 selects the vertical wheel, any other value the horizontal one.
    void setScrollParams(const OBX_SCROLL_PARAMS& params);
    OBX_SCROLL_PARAMS scrollParams(uint8_t wheel) const;
    void setButtonMap(const ButtonMap& map) { buttons_.setMap(map); }
    const ButtonMap& buttonMap() const { return buttons_.map(); }
    void setHelperRegistered(bool registered) {
        buttons_.setHelperRegistered(registered);
        gesture_.setHelperRegistered(registered);
    }
    bool helperRegistered() const { return buttons_.helperRegistered(); }
    uint32_t rawButtons() const { return buttons_.rawButtons(); }
    ButtonLogic::ChordState chordState() const { return buttons_.chordState(); }
    GestureLogic::State gestureState() const { return gesture_.state(); }
    const ScrollState& scrollState() const { return scroll_; }

private:
    ScrollState scroll_;
    MotionLogic motion_;
    GestureLogic gesture_;
    ButtonLogic buttons_;
};

} // namespace obx::driver
