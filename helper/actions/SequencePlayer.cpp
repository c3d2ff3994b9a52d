#include "actions/SequencePlayer.h"

#include "actions/DeviceInput.h"
#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"

namespace obx {

namespace {

using Type = SequenceStep::Type;

void sendKey(std::uint32_t modifiers, std::uint32_t keyCode, bool down) {
    platformServices().sendKeystroke(static_cast<std::uint16_t>(modifiers),
                                     static_cast<std::uint16_t>(keyCode), down, keyCode == 0);
}

void sendModifiers(std::uint32_t modifiers, bool down) {
    if (modifiers != 0) {
        sendKey(modifiers, 0, down);
    }
}

// Modifiers around a button go down before it and up after it, as a click's do.
void sendButton(std::int32_t button, std::uint32_t modifiers, bool down) {
    if (down) {
        sendModifiers(modifiers, true);
    }
    platformServices().sendMouseButton(mouseButtonMask(button), down);
    if (!down) {
        sendModifiers(modifiers, false);
    }
}

} // namespace

void SequencePlayer::play(std::shared_ptr<const SequenceSteps> steps, const void* source) {
    cutShort();
    steps_ = std::move(steps);
    source_ = source;
    next_ = 0;
    log(LogLevel::debug, "Sequence action - steps: ", steps_->size());
    runUntilPause();
}

void SequencePlayer::wake() {
    if (clock_ != nullptr) {
        clock_->stopWaking();
    }
    if (playing()) {
        runUntilPause();
    }
}

void SequencePlayer::cutShort() {
    if (playing()) {
        log(LogLevel::debug, "Sequence action cut short before step ", next_ + 1);
        releaseHeld();
        steps_.reset();
        source_ = nullptr;
    }
}

void SequencePlayer::cutShortFrom(const void* source) {
    if (playing() && source_ == source) {
        cutShort();
    }
}

void SequencePlayer::runUntilPause() {
    while (next_ < steps_->size()) {
        const auto& step = (*steps_)[next_++];
        if (step.type == Type::pause) {
            if (waitFor(step.pause)) {
                return;
            }
            break;
        }
        runStep(step);
    }
    releaseHeld();
    steps_.reset();
    source_ = nullptr;
}

bool SequencePlayer::waitFor(std::chrono::milliseconds pause) {
    // Without the worker's timer nothing could continue the sequence.
    if (clock_ == nullptr) {
        logText(LogLevel::error, "Sequence action - no timer for its pause, ended");
        return false;
    }
    try {
        clock_->wakeAfter(pause);
        return true;
    } catch (const std::exception& error) {
        log(LogLevel::error, "Sequence action - cannot wait for its pause, ended: ", error.what());
        return false;
    }
}

void SequencePlayer::runStep(const SequenceStep& step) {
    switch (step.type) {
    case Type::keyDown:
    case Type::keyUp:
        sendKey(step.modifiers, step.keyCode, step.type == Type::keyDown);
        hold({true, step.keyCode, step.modifiers}, step.type == Type::keyDown);
        break;
    case Type::keystroke:
        sendKey(step.modifiers, step.keyCode, true);
        sendKey(step.modifiers, step.keyCode, false);
        break;
    case Type::text:
        platformServices().typeText(step.text);
        break;
    case Type::click:
        sendButton(step.button, step.modifiers, true);
        sendButton(step.button, step.modifiers, false);
        break;
    case Type::buttonDown:
    case Type::buttonUp:
        sendButton(step.button, step.modifiers, step.type == Type::buttonDown);
        hold({false, static_cast<std::uint32_t>(step.button), step.modifiers}, step.type == Type::buttonDown);
        break;
    case Type::pause:
        break;
    }
}

void SequencePlayer::hold(Held held, bool down) {
    if (down) {
        held_.push_back(held);
    } else {
        std::erase(held_, held);
    }
}

void SequencePlayer::releaseHeld() {
    // Latest first, as a person lets go.
    for (auto held = held_.rbegin(); held != held_.rend(); ++held) {
        if (held->key) {
            sendKey(held->modifiers, held->code, false);
        } else {
            sendButton(static_cast<std::int32_t>(held->code), held->modifiers, false);
        }
    }
    held_.clear();
}

SequencePlayer& sequencePlayer() {
    static SequencePlayer player;
    return player;
}

} // namespace obx
