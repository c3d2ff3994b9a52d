#pragma once

#include "driver/core/ButtonMap.h"
#include "driver/core/ButtonOutput.h"
#include "driver/core/GestureLogic.h"
#include "driver/core/ScrollState.h"

#include <array>
#include <cstdint>

namespace obx::driver {

// Button changes under the button map: the chord window that holds presses back, the swallowing of
// a fired chord's releases, map entries of every kind and the driver actions. A gesture entry's press
// and release go to the gesture logic.
//
// The chord logic is a state machine (its diagram is in docs/obxkernd.md): one handler per state
// takes every event, the timer is started only on entering the holding state, and each transition
// is traced as "state -> event -> state".
class ButtonLogic {
public:
    static constexpr uint32_t kMaxQueuedChanges = 16;

    enum class ChordState : uint8_t {
        Idle,       // no window open, no release owed
        Holding,    // a window is open: presses of chord buttons and their releases are queued
        Swallowing, // a chord fired while its buttons were down: one release of each is dropped
    };

    ButtonLogic(ScrollState& scroll, IButtonOutput& out, GestureLogic& gesture)
        : scroll_(scroll), out_(out), gesture_(gesture) {}

    void change(uint32_t pressed, uint32_t released);
    // `multiplier`: the pan's Resolution Multiplier, so many reports to a detent. While a gesture takes
    // the wheel, the pan's presses and held steps are its own; a release still goes as its press went.
    void pan(int32_t value, int32_t multiplier = 1);
    void chordWindowEnd();

    void setMap(const ButtonMap& map);
    const ButtonMap& map() const { return map_; }
    void setHelperRegistered(bool registered) { helperRegistered_ = registered; }
    bool helperRegistered() const { return helperRegistered_; }
    uint32_t rawButtons() const { return raw_; }
    ChordState chordState() const { return state_; }
    // The window is open with a button of a gesture that adds up travel: the motion meanwhile may be that
    // gesture's, so it is held back until the window ends. Without a helper the window is dropped, so
    // nothing is held.
    bool holdsTravel() const {
        return helperRegistered_ && state_ == ChordState::Holding &&
               (pending_ & map_.travelGestureButtons()) != 0;
    }

private:
    struct Change {
        uint32_t pressed = 0;
        uint32_t released = 0;
    };
    enum class ChordEvent : uint8_t { Press, Release, WindowEnd, MapChange };

    // Runs one event through the handler of the current state. A press or release keeps in `mask`
    // what the machine lets through to the map.
    void chordEvent(ChordEvent event, uint32_t& mask);
    ChordState onIdle(ChordEvent event, uint32_t& mask);
    ChordState onHolding(ChordEvent event, uint32_t& mask);
    ChordState onSwallowing(ChordEvent event, uint32_t& mask);
    // Holds the chord buttons of a press back in a new window; Idle or Swallowing when there are
    // none or the queue is full.
    ChordState openWindow(uint32_t& pressed);
    ChordState resolveWindow();
    ChordState afterSwallow() const { return swallow_ != 0 ? ChordState::Swallowing : ChordState::Idle; }
    void dropOwedReleases(uint32_t& released);

    // A release goes out the way its press went, whatever the map says by then: to the mouse buttons
    // that the press pressed, or to the helper. So a map change while a button is held can neither
    // leave a mouse button down nor send the release of one that was never pressed. False when no
    // press of these buttons is remembered; the map then decides, as for any change.
    // Returns the buttons whose press was remembered, and so are dealt with.
    uint32_t releaseAsPressed(uint32_t released);
    enum class Route : uint8_t { Mouse, Helper, Action, Gesture };
    void remember(uint32_t pressed, Route route, uint32_t mouseButtons = 0);
    void endScrollModes();

    void queue(uint32_t pressed, uint32_t released);
    void dispatch(uint32_t pressed, uint32_t released);
    void dispatchByMap(uint32_t pressed, uint32_t released);
    void fireChord();
    void replayQueue();
    void perform(const MapEntry& entry);
    void startGesture(const MapEntry& entry, uint32_t buttons);

    ScrollState& scroll_;
    IButtonOutput& out_;
    GestureLogic& gesture_;
    ButtonMap map_;
    bool helperRegistered_ = false;
    uint32_t raw_ = 0;
    ChordState state_ = ChordState::Idle;
    bool chordTimerFlag_ = false;
    // Buttons whose press went into a fired chord and whose release is still to come.
    uint32_t swallow_ = 0;
    uint32_t pending_ = 0;
    uint32_t queuedCount_ = 0;
    std::array<Change, kMaxQueuedChanges> queued_{};
    // Per trackball button: the mouse buttons that its press sent and that its release still owes.
    std::array<uint32_t, 32> pressedAs_{};
    // Trackball buttons whose press went to the helper, or ran an action, and whose release has not
    // come yet.
    uint32_t pressedToHelper_ = 0;
    uint32_t pressedAsAction_ = 0;
    uint32_t pressedAsGesture_ = 0;
    int32_t panMultiplier_ = 1;
};

} // namespace obx::driver
