#include "driver/core/ButtonLogic.h"

namespace obx::driver {

namespace {
constexpr int32_t kWheelStepsPerAction = 1;
}

void ButtonLogic::change(uint32_t pressed, uint32_t released) {
    raw_ = (raw_ | pressed) & ~released;
    if (map_.chordMask() != 0)
        holdBackForChord(pressed, released);
    if (pressed != 0 && released != 0) {
        // One change can carry a release and a press of different buttons; each half gets its own
        // entry, so that neither is lost nor sent as the other's mouse buttons.
        dispatch(0, released);
        dispatch(pressed, 0);
        return;
    }
    dispatch(pressed, released);
}

void ButtonLogic::holdBackForChord(uint32_t& pressed, uint32_t& released) {
    if (released != 0) {
        if (swallow_ != 0) {
            const uint32_t swallowed = released & swallow_;
            swallow_ &= ~released;
            released &= ~swallowed;
        }
        const uint32_t held = released & pending_;
        if (held != 0 && queuedCount_ < kMaxQueuedChanges) {
            queue(0, held);
            released &= ~held;
        }
    } else if (pressed != 0) {
        const uint32_t held = pressed & map_.chordMask();
        if (held != 0 && (pressed & pending_) == 0 && queuedCount_ < kMaxQueuedChanges) {
            pending_ |= held;
            queue(held, 0);
            pressed &= ~held;
            if (!chordTimerFlag_)
                chordTimerFlag_ = out_.startTimer(kChordTimer, kChordWindowMs);
        }
    }
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
    const MapEntry* pressedEntry = map_.find(pressed);
    const MapEntry* releasedEntry = map_.find(released);
    if (pressedEntry != nullptr && pressedEntry->kind == OBX_MAP_ACTION) {
        perform(*pressedEntry);
        return;
    }
    if (releasedEntry != nullptr && releasedEntry->kind == OBX_MAP_ACTION)
        return;
    if (scroll_.scrollMode || scroll_.autoScroll) {
        scroll_.stopAutoScrollTimer(out_);
        scroll_.scrollMode = false;
        scroll_.autoScroll = false;
    }
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
        out_.sendButtons(pressed, 0);
    } else {
        out_.reportToHelper(pressed, 0);
    }
}

void ButtonLogic::pan(int32_t value) {
    const uint32_t panBits = value > 0 ? OBX_PAN_RIGHT : (value < 0 ? OBX_PAN_LEFT : 0);
    const uint32_t next = (raw_ & ~OBX_PAN_BITS) | panBits;
    change(next & ~raw_, raw_ & ~next);
}

void ButtonLogic::chordWindowEnd() {
    if (helperRegistered_) {
        if ((pending_ & (pending_ - 1)) != 0)
            fireChord();
        else if (pending_ != 0)
            replayQueue();
    }
    pending_ = 0;
    queuedCount_ = 0;
    chordTimerFlag_ = false;
}

void ButtonLogic::fireChord() {
    if (const MapEntry* click = map_.find(pending_, OBX_MAP_BUTTONS)) {
        out_.sendButtons(click->output, 0);
        out_.sendButtons(0, click->output);
    } else if (const MapEntry* action = map_.find(pending_, OBX_MAP_ACTION)) {
        perform(*action);
    } else {
        out_.reportToHelper(pending_, 0);
        out_.reportToHelper(0, pending_);
    }
    // Only the releases still to come are swallowed: one already queued in the window was dropped
    // with the queue, and swallowing a later one would leave that mouse button down.
    uint32_t releasedInWindow = 0;
    for (uint32_t i = 0; i < queuedCount_; ++i)
        releasedInWindow |= queued_[i].released;
    swallow_ = pending_ & ~releasedInWindow;
}

void ButtonLogic::replayQueue() {
    for (uint32_t i = 0; i < queuedCount_; ++i) {
        const Change& c = queued_[i];
        const uint32_t key = c.released != 0 ? c.released : c.pressed;
        if (const MapEntry* buttons = map_.find(key, OBX_MAP_BUTTONS)) {
            out_.sendButtons(c.pressed != 0 ? buttons->output : 0, c.released != 0 ? buttons->output : 0);
        } else if (const MapEntry* action = map_.find(c.pressed, OBX_MAP_ACTION)) {
            perform(*action);
        } else {
            out_.reportToHelper(c.pressed, c.released);
        }
    }
}

void ButtonLogic::perform(const MapEntry& entry) {
    switch (entry.action) {
    case OBX_ACTION_SCROLL_MODE:
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
    const bool horizontal = entry.action == OBX_ACTION_SCROLL_LEFT || entry.action == OBX_ACTION_SCROLL_RIGHT;
    out_.sendWheel(horizontal ? kHorizontalWheel : kVerticalWheel, step);
}

} // namespace obx::driver
