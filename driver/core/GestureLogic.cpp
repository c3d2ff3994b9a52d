#include "driver/core/GestureLogic.h"

#include <algorithm>

namespace obx::driver {

namespace {

// The mouse buttons that a tap of TAP_CLICK may click: trackball buttons 1 to 5 are mouse buttons 1 to 5.
constexpr uint32_t kClickableButtons = 0x1F;
constexpr uint32_t kMaxStepsInEvent = 255;

const char* stateName(GestureLogic::State state) {
    switch (state) {
    case GestureLogic::State::Idle:
        return "idle";
    case GestureLogic::State::Held:
        return "held";
    case GestureLogic::State::Decided:
        return "decided";
    case GestureLogic::State::Repeating:
        return "repeating";
    }
    return "?";
}

int64_t magnitude(int64_t v) {
    return v < 0 ? -v : v;
}

} // namespace

void Travel::add(int64_t dx, int64_t dy) {
    x = std::clamp(x + dx, -kLimit, kLimit);
    y = std::clamp(y + dy, -kLimit, kLimit);
}

void GestureLogic::press(const MapEntry& entry) {
    if (state_ == State::Idle) {
        buttons_ = entry.buttons;
        mode_ = entry.mode;
        flags_ = entry.flags;
        threshold_ = entry.threshold;
        travel_ = heldBack_;
        // The pointer moves in mode NONE: what the window held back still goes out, and only counts here.
        if (mode_ != OBX_GESTURE_TRAVEL_NONE)
            heldBack_ = Travel{};
        repeatDirection_ = 0;
        stepsMade_ = 0;
        wheelRest_ = {};
    }
    event(Event::Press);
}

void GestureLogic::release(uint32_t buttons) {
    if (state_ != State::Idle && (buttons & buttons_) != 0)
        event(Event::Release);
}

void GestureLogic::otherPress() {
    if (state_ != State::Idle)
        event(Event::OtherPress);
}

bool GestureLogic::travel(int32_t dx, int32_t dy) {
    if (state_ == State::Idle)
        return false;
    travel_.add(dx, dy);
    event(Event::Travel);
    return mode_ != OBX_GESTURE_TRAVEL_NONE;
}

bool GestureLogic::wheel(uint32_t axis, int32_t delta) {
    if (state_ == State::Idle || delta == 0)
        return false;
    // Its notches are the same events in every state held; without the flag it scrolls.
    const bool taken = (flags_ & OBX_GESTURE_WHEEL) != 0;
    if (taken)
        notches(axis, delta);
    event(Event::Wheel);
    return taken;
}

void GestureLogic::mapChange() {
    event(Event::MapChange);
}

void GestureLogic::removal() {
    event(Event::Removal);
    heldBack_ = Travel{};
}

Travel GestureLogic::takeHeldBack() {
    const Travel held = heldBack_;
    heldBack_ = Travel{};
    return held;
}

void GestureLogic::event(Event event) {
    static constexpr const char* kEventNames[] = {"press",       "release",    "travel", "wheel",
                                                  "other press", "map change", "removal"};
    const State from = state_;
    switch (from) {
    case State::Idle:
        state_ = onIdle(event);
        break;
    case State::Held:
        state_ = onHeld(event);
        break;
    case State::Decided:
        state_ = onDecided(event);
        break;
    case State::Repeating:
        state_ = onRepeating(event);
        break;
    }
    // Travel and wheel come with every report: only those that change the state are told.
    const bool report = event == Event::Travel || event == Event::Wheel;
    if ((from != State::Idle || state_ != State::Idle) && !(report && from == state_))
        out_.traceTransition("gesture", stateName(from), kEventNames[static_cast<uint8_t>(event)],
                             stateName(state_));
}

GestureLogic::State GestureLogic::onIdle(Event event) {
    // Only a press starts a gesture; the rest find none held (a map change or a removal with no
    // gesture about).
    return event == Event::Press ? afterTravel(State::Held) : State::Idle;
}

GestureLogic::State GestureLogic::onHeld(Event event) {
    switch (event) {
    case Event::Press: // another gesture's: one at a time
        return State::Held;
    case Event::Release:
        tap();
        return State::Idle;
    case Event::Travel:
        return afterTravel(State::Held);
    case Event::Wheel:
    case Event::OtherPress:
        return State::Decided;
    case Event::MapChange:
    case Event::Removal:
        return State::Idle;
    }
    return State::Held;
}

GestureLogic::State GestureLogic::onDecided(Event event) {
    switch (event) {
    case Event::Press:
    case Event::Wheel:
    case Event::OtherPress:
        return State::Decided;
    case Event::Release:
        // Travel that passed the threshold and came back below it is taken back: nothing happens.
        if (mode_ == OBX_GESTURE_TRAVEL_ONCE && pastThreshold())
            report(direction(), 1);
        return State::Idle;
    case Event::Travel:
        return afterTravel(State::Decided);
    case Event::MapChange:
    case Event::Removal:
        return State::Idle;
    }
    return State::Decided;
}

GestureLogic::State GestureLogic::onRepeating(Event event) {
    switch (event) {
    case Event::Press:
    case Event::Wheel:
    case Event::OtherPress:
        return State::Repeating;
    case Event::Release: // the steps were the gesture
    case Event::MapChange:
    case Event::Removal:
        return State::Idle;
    case Event::Travel:
        stepsDue();
        return State::Repeating;
    }
    return State::Repeating;
}

GestureLogic::State GestureLogic::afterTravel(State shortOfThreshold) {
    if (!pastThreshold())
        return shortOfThreshold;
    if (mode_ != OBX_GESTURE_TRAVEL_REPEAT)
        return State::Decided;
    repeatDirection_ = direction();
    stepsDue();
    return State::Repeating;
}

bool GestureLogic::pastThreshold() const {
    return std::max(magnitude(travel_.x), magnitude(travel_.y)) >= threshold_;
}

uint8_t GestureLogic::direction() const {
    if (magnitude(travel_.x) > magnitude(travel_.y))
        return travel_.x < 0 ? OBX_GESTURE_LEFT : OBX_GESTURE_RIGHT;
    return travel_.y < 0 ? OBX_GESTURE_UP : OBX_GESTURE_DOWN;
}

void GestureLogic::stepsDue() {
    // The travel along the first step's direction: travel back lowers it, and the next step waits until
    // it passes the next multiple of the threshold again.
    int64_t along = 0;
    switch (repeatDirection_) {
    case OBX_GESTURE_LEFT:
        along = -travel_.x;
        break;
    case OBX_GESTURE_RIGHT:
        along = travel_.x;
        break;
    case OBX_GESTURE_UP:
        along = -travel_.y;
        break;
    default:
        along = travel_.y;
        break;
    }
    const int64_t due = along / threshold_;
    if (due <= stepsMade_)
        return;
    const int64_t steps = std::min<int64_t>(due - stepsMade_, kMaxStepsAtOnce);
    stepsMade_ = due;
    for (int64_t i = 0; i < steps; ++i)
        report(repeatDirection_, 1);
}

void GestureLogic::notches(uint32_t axis, int32_t delta) {
    // Whole notches out of fractions: a turn back drops the fraction kept, as the system's wheel does.
    int64_t& rest = wheelRest_[axis == kHorizontalWheel ? 1 : 0];
    if ((rest < 0 && delta > 0) || (rest > 0 && delta < 0))
        rest = 0;
    rest += delta;
    const int64_t notches = rest / kWheelDelta;
    rest -= notches * kWheelDelta;
    if (notches == 0)
        return;
    const bool horizontal = axis == kHorizontalWheel;
    const uint8_t direction = horizontal ? (notches > 0 ? OBX_GESTURE_PAN_RIGHT : OBX_GESTURE_PAN_LEFT)
                                         : (notches > 0 ? OBX_GESTURE_WHEEL_UP : OBX_GESTURE_WHEEL_DOWN);
    report(direction, static_cast<uint32_t>(std::min<int64_t>(magnitude(notches), kMaxStepsInEvent)));
}

void GestureLogic::tap() {
    if ((flags_ & OBX_GESTURE_TAP_CLICK) == 0) {
        report(OBX_GESTURE_TAP, 1);
        return;
    }
    const uint32_t click = buttons_ & kClickableButtons;
    if (click != 0) {
        out_.sendButtons(click, 0);
        out_.sendButtons(0, click);
    }
}

void GestureLogic::report(uint8_t direction, uint32_t steps) {
    if (helperRegistered_)
        out_.reportGesture(buttons_, direction, static_cast<uint8_t>(steps));
}

} // namespace obx::driver
