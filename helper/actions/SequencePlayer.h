#pragma once

// Plays sequence actions on the worker, one at a time: the steps up to a
// pause run at once, and the rest continues when the worker's timer wakes
// it, so that a pause never holds the worker or the trackballs' reads. A
// sequence cut short, and one that ends, lets go of every key and button
// it still holds. All input goes through the platform services.

#include "actions/SequenceSteps.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

namespace obx {

// The worker's timer, as the player needs it.
class SequenceClock {
public:
    virtual ~SequenceClock() = default;
    // SequencePlayer::wake runs on the worker once delay has passed, and
    // again every delay until stopped.
    virtual void wakeAfter(std::chrono::milliseconds delay) = 0;
    virtual void stopWaking() = 0;
};

class SequencePlayer {
public:
    // The worker installs its timer while it runs; null when it stops.
    void useClock(SequenceClock* clock) { clock_ = clock; }

    // Cuts short any sequence that runs, then plays steps for source (the
    // trackball whose press started it; only compared, never used).
    void play(std::shared_ptr<const SequenceSteps> steps, const void* source);
    // The clock's tick: the pause is over.
    void wake();
    // Ends the sequence that runs, letting go of what it holds. Any thread
    // that holds the worker lock: the timer is left to the worker, whose
    // next tick finds nothing to play and stops it.
    void cutShort();
    // cutShort when the running sequence came from source.
    void cutShortFrom(const void* source);

    bool playing() const { return steps_ != nullptr; }

private:
    // Runs steps from next_ until a pause or the end.
    void runUntilPause();
    // False when no timer can end the pause: the sequence ends there.
    bool waitFor(std::chrono::milliseconds pause);
    void runStep(const SequenceStep& step);
    void releaseHeld();

    SequenceClock* clock_ = nullptr;
    std::shared_ptr<const SequenceSteps> steps_;
    const void* source_ = nullptr;
    std::size_t next_ = 0;
    struct Held {
        bool key; // else a mouse button
        std::uint32_t code;
        std::uint32_t modifiers;
        bool operator==(const Held&) const = default;
    };
    void hold(Held held, bool down);
    // In the order pressed; the steps never press one twice.
    std::vector<Held> held_;
};

// The process-wide player: only the worker runs actions.
SequencePlayer& sequencePlayer();

} // namespace obx
