#pragma once

#include "driver/core/ButtonMap.h"
#include "driver/core/ButtonOutput.h"

#include <array>
#include <cstdint>

namespace obx::driver {

// Ball travel in raw counts, added up without overflow however long it lasts.
struct Travel {
    static constexpr int64_t kLimit = int64_t{1} << 40;

    int64_t x = 0;
    int64_t y = 0;

    void add(int64_t dx, int64_t dy);
    bool empty() const { return x == 0 && y == 0; }
};

// The gesture of a map entry of kind OBX_MAP_GESTURE while its buttons are held: what the ball's
// travel and the wheel do meanwhile, and what the release makes of it (a direction, a tap, or
// nothing). One gesture at a time: a second gesture's press while one is held does nothing.
//
// Like the chord window it is a state machine (its diagram is in docs/obxkernd.md): one handler per
// state takes every event, and each step but idle -> idle and the travel and wheel reports that leave
// the state as it was is traced as "state -> event -> state".
class GestureLogic {
public:
    enum class State : uint8_t {
        Idle,      // no gesture held
        Held,      // held, nothing yet: a release now is a tap
        Decided,   // held, and no longer a tap: travel passed the threshold, the wheel turned or another
                   // button was pressed
        Repeating, // held in mode REPEAT after its first step: its direction is fixed
    };

    // Steps of one direction that one report can make: the rest of a larger report is dropped.
    static constexpr uint32_t kMaxStepsAtOnce = 8;

    explicit GestureLogic(IButtonOutput& out) : out_(out) {}

    // The entry's buttons went down (pressed, or resolved so by the chord window). The motion held back
    // in the chord window counts as the gesture's travel.
    void press(const MapEntry& entry);
    // A release of one of the held gesture's buttons ends it; other releases change nothing.
    void release(uint32_t buttons);
    // A button that is not the gesture's went down while it is held.
    void otherPress();
    // Raw ball counts, before slow pointer and single axis. True when the travel is the gesture's, so the
    // pointer must not move.
    bool travel(int32_t dx, int32_t dy);
    // One report of the wheel or the pan in wheel-delta units. True when the gesture takes it (flag
    // OBX_GESTURE_WHEEL), so nothing scrolls.
    bool wheel(uint32_t axis, int32_t delta);
    // The map was replaced, or the device is going: the gesture ends with no output at all.
    void mapChange();
    void removal();

    // Motion that the chord window holds back while it may resolve to a gesture with travel: that
    // gesture counts it; otherwise it is taken back at the window's end and moves the pointer.
    void holdBack(int32_t dx, int32_t dy) { heldBack_.add(dx, dy); }
    Travel takeHeldBack();

    bool takesWheel() const { return state_ != State::Idle && (flags_ & OBX_GESTURE_WHEEL) != 0; }
    State state() const { return state_; }
    void setHelperRegistered(bool registered) { helperRegistered_ = registered; }

private:
    enum class Event : uint8_t { Press, Release, Travel, Wheel, OtherPress, MapChange, Removal };

    void event(Event event);
    State onIdle(Event event);
    State onHeld(Event event);
    State onDecided(Event event);
    State onRepeating(Event event);
    // Where travel leaves a gesture that has not repeated yet: past the threshold it repeats (mode
    // REPEAT) or is decided; short of it, it stays in `shortOfThreshold`.
    State afterTravel(State shortOfThreshold);
    bool pastThreshold() const;
    // The direction of the larger net travel (screen coordinates: y negative is up); vertical on a tie.
    uint8_t direction() const;
    void stepsDue();
    // The whole notches of a wheel or pan report, as events.
    void notches(uint32_t axis, int32_t delta);
    void tap();
    void report(uint8_t direction, uint32_t steps);

    IButtonOutput& out_;
    bool helperRegistered_ = false;
    State state_ = State::Idle;
    uint32_t buttons_ = 0;
    uint8_t mode_ = OBX_GESTURE_TRAVEL_NONE;
    uint8_t flags_ = 0;
    int64_t threshold_ = OBX_GESTURE_THRESHOLD_DEFAULT;
    Travel travel_;
    Travel heldBack_;
    // Mode REPEAT: the direction of the first step, and the steps made so far.
    uint8_t repeatDirection_ = 0;
    int64_t stepsMade_ = 0;
    // The wheel's and the pan's fractions of a notch, in wheel-delta units.
    std::array<int64_t, 2> wheelRest_{};
};

} // namespace obx::driver
