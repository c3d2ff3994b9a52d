#pragma once

// Which spare keycodes carry which character for typed text, and when one of
// them may be given another character. Pure bookkeeping, no display needed.
//
// A client translates a key event with the keyboard map it holds when it
// reads the event, and it fetches that map from the server only then. So a
// keycode keeps its character until every client has read the events typed
// with it: until the client that receives them has answered a ping sent after
// them, or until the hold has passed since they reached the server, a time far
// longer than any working client takes to read its input.

#include "platform/linux/x11/VirtualKeys.h"

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace obx::x11 {

class LentKeys {
public:
    using Clock = std::chrono::steady_clock;

    explicit LentKeys(Clock::duration hold) : hold_(hold) {}

    // From a fresh keyboard map: the keycodes that carry nothing, and whether
    // a lent keycode still carries its character. One that does not was
    // changed by someone else and is no longer ours to give back.
    void refresh(std::vector<unsigned> emptyKeycodes,
                 const std::function<bool(unsigned code, KeySymbol keysym)>& carries);

    bool lends(unsigned code) const;
    // Whether any keycode can be lent at all.
    bool canLend() const { return !lent_.empty() || !free_.empty(); }

    struct Lease {
        unsigned code;
        bool remap; // the keycode must be given the character first
    };
    // The keycode for the character: the one that carries it already, a free
    // one, or of those whose events have all been read the least recently
    // used.
    // Nothing when every keycode is still held. The keycode counts as in use
    // until delivered().
    std::optional<Lease> lease(KeySymbol keysym, Clock::time_point now);

    // The events of the keycodes in use reached the server at `at`.
    void delivered(Clock::time_point at);
    // The receiving client has read every event that reached the server from
    // `since` to `at` (events before may have gone to another client).
    void read(Clock::time_point since, Clock::time_point at) {
        readSince_ = since;
        readUpTo_ = at;
    }
    // When lease() can give a new character a keycode without any answer.
    Clock::time_point reusableAt() const;

    bool empty() const { return lent_.empty(); }
    // When typing has been idle long enough to give every keycode back.
    Clock::time_point restoreAt() const;
    // Forgets every lent keycode; the caller maps them back to nothing.
    std::vector<std::pair<unsigned, KeySymbol>> giveBack();

private:
    struct Entry {
        unsigned code;
        KeySymbol keysym;
        Clock::time_point lastUse; // inUse while its events are on their way
    };
    static constexpr Clock::time_point inUse = Clock::time_point::max();

    bool reusable(const Entry& entry, Clock::time_point now) const;

    Clock::duration hold_;
    Clock::time_point readSince_{};
    Clock::time_point readUpTo_{};
    std::vector<Entry> lent_;
    std::vector<unsigned> free_;
};

} // namespace obx::x11
