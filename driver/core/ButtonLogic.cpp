#include "driver/core/ButtonLogic.h"

namespace obx::driver {

namespace {

constexpr int32_t kWheelStepsPerAction = 1;

const char* stateName(ButtonLogic::ChordState state) {
    switch (state) {
    case ButtonLogic::ChordState::Idle:
        return "idle";
    case ButtonLogic::ChordState::Holding:
        return "holding";
    case ButtonLogic::ChordState::Swallowing:
        return "swallowing";
    }
    return "?";
}

} // namespace

void ButtonLogic::change(uint32_t pressed, uint32_t released) {
    raw_ = (raw_ | pressed) & ~released;
    // A held gesture's own buttons are down already: any press is another button's.
    if (pressed != 0)
        gesture_.otherPress();
    // The release first: a change that lets one button go and presses another is both events.
    if (released != 0)
        chordEvent(ChordEvent::Release, released);
    if (pressed != 0)
        chordEvent(ChordEvent::Press, pressed);
    if (pressed != 0 && released != 0) {
        // Each half gets its own entry, so that neither is lost nor sent as the other's mouse buttons.
        dispatch(0, released);
        dispatch(pressed, 0);
        return;
    }
    dispatch(pressed, released);
}

void ButtonLogic::setMap(const ButtonMap& map) {
    map_ = map;
    gesture_.mapChange();
    uint32_t none = 0;
    chordEvent(ChordEvent::MapChange, none);
}

void ButtonLogic::chordWindowEnd() {
    uint32_t none = 0;
    chordEvent(ChordEvent::WindowEnd, none);
}

void ButtonLogic::chordEvent(ChordEvent event, uint32_t& mask) {
    static constexpr const char* kEventNames[] = {"press", "release", "window end", "map change"};
    const ChordState from = state_;
    switch (from) {
    case ChordState::Idle:
        state_ = onIdle(event, mask);
        break;
    case ChordState::Holding:
        state_ = onHolding(event, mask);
        break;
    case ChordState::Swallowing:
        state_ = onSwallowing(event, mask);
        break;
    }
    // Buttons passing through with no chord about are the common case and say nothing.
    if (from != ChordState::Idle || state_ != ChordState::Idle)
        out_.traceTransition("chord", stateName(from), kEventNames[static_cast<uint8_t>(event)],
                             stateName(state_));
}

ButtonLogic::ChordState ButtonLogic::onIdle(ChordEvent event, uint32_t& mask) {
    switch (event) {
    case ChordEvent::Press:
        return openWindow(mask);
    case ChordEvent::Release:
        return ChordState::Idle;
    case ChordEvent::WindowEnd:
        // A tick that was already due when a restart of the timer raced it.
        return ChordState::Idle;
    case ChordEvent::MapChange:
        return ChordState::Idle;
    }
    return ChordState::Idle;
}

ButtonLogic::ChordState ButtonLogic::onHolding(ChordEvent event, uint32_t& mask) {
    switch (event) {
    case ChordEvent::Press: {
        // A press of a button still owed a release means that release never came; this press goes
        // out, so must its release.
        swallow_ &= ~mask;
        // A button pressed again after its release in the window is queued too: its press and its
        // release then both stay in the window, and the window decides about them together.
        const uint32_t held = mask & map_.chordMask();
        if (held != 0 && queuedCount_ < kMaxQueuedChanges) {
            pending_ |= held;
            queue(held, 0);
            mask &= ~held;
            // The first restart moves the window's end to 100 ms after this press; later presses
            // leave it.
            if (!chordTimerFlag_)
                chordTimerFlag_ = out_.startTimer(kChordTimer, kChordWindowMs);
        }
        return ChordState::Holding;
    }
    case ChordEvent::Release: {
        dropOwedReleases(mask);
        const uint32_t held = mask & pending_;
        if (held != 0 && queuedCount_ < kMaxQueuedChanges) {
            queue(0, held);
            mask &= ~held;
        }
        return ChordState::Holding;
    }
    case ChordEvent::WindowEnd:
        return resolveWindow();
    case ChordEvent::MapChange:
        // The window resolves under the map in force when it ends, as the releases that follow it.
        return ChordState::Holding;
    }
    return ChordState::Holding;
}

ButtonLogic::ChordState ButtonLogic::onSwallowing(ChordEvent event, uint32_t& mask) {
    switch (event) {
    case ChordEvent::Press:
        swallow_ &= ~mask;
        return openWindow(mask);
    case ChordEvent::Release:
        dropOwedReleases(mask);
        return afterSwallow();
    case ChordEvent::WindowEnd:
        return ChordState::Swallowing;
    case ChordEvent::MapChange:
        // The owed releases belong to presses that went out as the chord, whatever the map now says:
        // under any map they must not go out on their own.
        return ChordState::Swallowing;
    }
    return ChordState::Swallowing;
}

ButtonLogic::ChordState ButtonLogic::openWindow(uint32_t& pressed) {
    const uint32_t held = pressed & map_.chordMask();
    if (held == 0)
        return afterSwallow();
    pending_ = held;
    queue(held, 0);
    pressed &= ~held;
    chordTimerFlag_ = out_.startTimer(kChordTimer, kChordWindowMs);
    return ChordState::Holding;
}

ButtonLogic::ChordState ButtonLogic::resolveWindow() {
    if (helperRegistered_) {
        if ((pending_ & (pending_ - 1)) != 0)
            fireChord();
        else if (pending_ != 0)
            replayQueue();
    }
    pending_ = 0;
    queuedCount_ = 0;
    chordTimerFlag_ = false;
    return afterSwallow();
}

void ButtonLogic::dropOwedReleases(uint32_t& released) {
    const uint32_t owed = released & swallow_;
    swallow_ &= ~owed;
    released &= ~owed;
}

void ButtonLogic::queue(uint32_t pressed, uint32_t released) {
    queued_[queuedCount_++] = Change{pressed, released};
}

void ButtonLogic::dispatch(uint32_t pressed, uint32_t released) {
    if (pressed == 0 && released == 0) {
        // A held pan repeats its action on every report.
        const MapEntry* held = map_.find(raw_ & OBX_PAN_BITS);
        if (held != nullptr && held->kind == OBX_MAP_ACTION)
            perform(*held);
        return;
    }
    if (released != 0) {
        released &= ~releaseAsPressed(released);
        if (released == 0)
            return;
    }
    // Buttons that change in the same report without an entry of their own (two pressed within one
    // frame of the device) are each a change of their own: looked up as one mask they would find
    // nothing and be lost. Chords are what the chord window makes of them.
    const uint32_t buttons = pressed | released;
    if ((buttons & (buttons - 1)) != 0 && map_.find(buttons) == nullptr) {
        for (uint32_t bit = 1; bit != 0 && bit <= buttons; bit <<= 1) {
            if ((buttons & bit) != 0)
                dispatchByMap(pressed & bit, released & bit);
        }
        return;
    }
    dispatchByMap(pressed, released);
}

void ButtonLogic::dispatchByMap(uint32_t pressed, uint32_t released) {
    const uint32_t pressedButtons = pressed;
    const MapEntry* pressedEntry = map_.find(pressed);
    const MapEntry* releasedEntry = map_.find(released);
    if (pressedEntry != nullptr && pressedEntry->kind == OBX_MAP_ACTION) {
        remember(pressedButtons, Route::Action);
        perform(*pressedEntry);
        return;
    }
    if (pressedEntry != nullptr && pressedEntry->kind == OBX_MAP_GESTURE) {
        startGesture(*pressedEntry, pressedButtons);
        return;
    }
    // The release of an action or a gesture whose press is not remembered does nothing, as the
    // remembered one.
    if (releasedEntry != nullptr && releasedEntry->kind != OBX_MAP_BUTTONS)
        return;
    endScrollModes();
    if (pressedEntry != nullptr)
        pressed = pressedEntry->output;
    if (releasedEntry != nullptr)
        released = releasedEntry->output;
    if (released != 0) {
        if (releasedEntry != nullptr)
            out_.sendButtons(pressed, released);
        else
            out_.reportToHelper(0, released);
    } else if (pressedEntry != nullptr) {
        remember(pressedButtons, Route::Mouse, pressed);
        out_.sendButtons(pressed, 0);
    } else {
        remember(pressedButtons, Route::Helper);
        out_.reportToHelper(pressed, 0);
    }
}

uint32_t ButtonLogic::releaseAsPressed(uint32_t released) {
    uint32_t mouseButtons = 0;
    uint32_t remembered = 0;
    for (uint32_t bit = 0; bit < pressedAs_.size(); ++bit) {
        if (((released >> bit) & 1u) && pressedAs_[bit] != 0) {
            mouseButtons |= pressedAs_[bit];
            remembered |= 1u << bit;
            pressedAs_[bit] = 0;
        }
    }
    const uint32_t helperButtons = released & pressedToHelper_;
    const uint32_t actionButtons = released & pressedAsAction_;
    const uint32_t gestureButtons = released & pressedAsGesture_;
    pressedToHelper_ &= ~released;
    pressedAsAction_ &= ~released;
    pressedAsGesture_ &= ~released;
    if (gestureButtons != 0)
        gesture_.release(gestureButtons);
    if (mouseButtons != 0) {
        endScrollModes();
        out_.sendButtons(0, mouseButtons);
    }
    // One event a button, as their presses went: the helper looks each mask up as one entry.
    for (uint32_t bit = 1; bit != 0 && bit <= helperButtons; bit <<= 1) {
        if ((helperButtons & bit) != 0)
            out_.reportToHelper(0, bit);
    }
    // An action's release does nothing, as under the map of its press; a gesture's ended it.
    return remembered | helperButtons | actionButtons | gestureButtons;
}

void ButtonLogic::remember(uint32_t pressed, Route route, uint32_t mouseButtons) {
    for (uint32_t bit = 0; bit < pressedAs_.size(); ++bit) {
        if ((pressed >> bit) & 1u)
            pressedAs_[bit] = route == Route::Mouse ? mouseButtons : 0;
    }
    pressedToHelper_ = route == Route::Helper ? pressedToHelper_ | pressed : pressedToHelper_ & ~pressed;
    pressedAsAction_ = route == Route::Action ? pressedAsAction_ | pressed : pressedAsAction_ & ~pressed;
    pressedAsGesture_ = route == Route::Gesture ? pressedAsGesture_ | pressed : pressedAsGesture_ & ~pressed;
}

void ButtonLogic::startGesture(const MapEntry& entry, uint32_t buttons) {
    endScrollModes();
    remember(buttons, Route::Gesture);
    gesture_.press(entry);
}

void ButtonLogic::endScrollModes() {
    if (scroll_.scrollMode || scroll_.autoScroll) {
        scroll_.stopAutoScrollTimer(out_);
        scroll_.scrollMode = false;
        scroll_.autoScroll = false;
    }
}

void ButtonLogic::pan(int32_t value, int32_t multiplier) {
    panMultiplier_ = multiplier > 0 ? multiplier : 1;
    const uint32_t panBits = value > 0 ? OBX_PAN_RIGHT : (value < 0 ? OBX_PAN_LEFT : 0);
    const uint32_t next = (raw_ & ~OBX_PAN_BITS) | panBits;
    if (gesture_.takesWheel()) {
        if ((raw_ & ~next) != 0)
            change(0, raw_ & ~next);
        return;
    }
    change(next & ~raw_, raw_ & ~next);
}

void ButtonLogic::fireChord() {
    // Only the releases still to come are swallowed, of the buttons down at the window's end: one
    // already queued in the window was dropped with the queue, and swallowing a later one would leave
    // that mouse button down. Releases owed by an earlier chord whose buttons are still down stay owed.
    uint32_t downAtEnd = pending_;
    for (uint32_t i = 0; i < queuedCount_; ++i)
        downAtEnd = (downAtEnd | queued_[i].pressed) & ~queued_[i].released;
    if (const MapEntry* gesture = map_.find(pending_, OBX_MAP_GESTURE)) {
        // The releases end the gesture the way a remembered press's do, so none is owed. A chord let go
        // inside the window is a gesture pressed and released at once.
        startGesture(*gesture, pending_ & downAtEnd);
        if ((pending_ & ~downAtEnd) != 0)
            gesture_.release(pending_ & ~downAtEnd);
        return;
    }
    if (const MapEntry* click = map_.find(pending_, OBX_MAP_BUTTONS)) {
        out_.sendButtons(click->output, 0);
        out_.sendButtons(0, click->output);
    } else if (const MapEntry* action = map_.find(pending_, OBX_MAP_ACTION)) {
        perform(*action);
    } else {
        out_.reportToHelper(pending_, 0);
        out_.reportToHelper(0, pending_);
    }
    swallow_ |= pending_ & downAtEnd;
}

void ButtonLogic::replayQueue() {
    for (uint32_t i = 0; i < queuedCount_; ++i) {
        const Change& c = queued_[i];
        if (c.released != 0 && releaseAsPressed(c.released) != 0)
            continue;
        const uint32_t key = c.released != 0 ? c.released : c.pressed;
        if (const MapEntry* buttons = map_.find(key, OBX_MAP_BUTTONS)) {
            if (c.pressed != 0)
                remember(c.pressed, Route::Mouse, buttons->output);
            out_.sendButtons(c.pressed != 0 ? buttons->output : 0, c.released != 0 ? buttons->output : 0);
        } else if (const MapEntry* action = map_.find(c.pressed, OBX_MAP_ACTION)) {
            remember(c.pressed, Route::Action);
            perform(*action);
        } else if (const MapEntry* gesture = map_.find(c.pressed, OBX_MAP_GESTURE)) {
            startGesture(*gesture, c.pressed);
        } else {
            if (c.pressed != 0)
                remember(c.pressed, Route::Helper);
            out_.reportToHelper(c.pressed, c.released);
        }
    }
}

void ButtonLogic::perform(const MapEntry& entry) {
    switch (entry.action) {
    case OBX_ACTION_SCROLL_MODE:
        // Auto-scroll ends here, and so does its timer: left armed, it would scroll on in the plain
        // scroll mode that a second press of this action switches on.
        if (scroll_.autoScrollRunning)
            scroll_.stopAutoScrollTimer(out_);
        scroll_.autoScroll = false;
        scroll_.scrollMode = !scroll_.scrollMode;
        scroll_.scrollSpeed = entry.amount;
        return;
    case OBX_ACTION_AUTO_SCROLL: {
        const bool wasOn = scroll_.autoScroll;
        scroll_.autoScroll = !wasOn;
        scroll_.scrollMode = scroll_.autoScroll;
        if (!wasOn) {
            scroll_.movedSinceTick = false;
            scroll_.scrollSpeed = entry.amount;
            scroll_.autoScrollTicks = 0;
        } else {
            scroll_.stopAutoScrollTimer(out_);
        }
        return;
    }
    default:
        break;
    }
    int32_t step = kWheelStepsPerAction * (entry.amount == 0 ? 1 : entry.amount);
    if (entry.action == OBX_ACTION_SCROLL_DOWN || entry.action == OBX_ACTION_SCROLL_LEFT)
        step = -step;
    // An entry of the pan alone runs once a pan report, which a Resolution Multiplier makes a fraction
    // of a detent.
    const int32_t perReport = (entry.buttons & ~OBX_PAN_BITS) == 0 ? panMultiplier_ : 1;
    const bool horizontal = entry.action == OBX_ACTION_SCROLL_LEFT || entry.action == OBX_ACTION_SCROLL_RIGHT;
    out_.sendWheel(horizontal ? kHorizontalWheel : kVerticalWheel, detentsToDelta(step) / perReport);
}

} // namespace obx::driver
