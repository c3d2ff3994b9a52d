#include "platform/linux/x11/TypingBurst.h"

#include "platform/linux/x11/FocusPing.h"
#include "platform/linux/x11/KeymapLender.h"
#include "platform/linux/x11/XConnection.h"

#include <X11/keysym.h>
#include <thread>

namespace obx::x11 {

TypingBurst::TypingBurst(Display* display, LentKeys& keys)
    : display_(display), keys_(keys), receiver_(pingableFocus(display)), start_(LentKeys::Clock::now()) {
    // Nothing that came before concerns this burst (mapping notices, for one).
    XSync(display_, True);
    refreshMap();
}

void TypingBurst::refreshMap() {
    send();
    map_.emplace(display_);
    refreshLentKeys(keys_, *map_);
}

bool TypingBurst::tap(KeySymbol keysym) {
    auto position = map_->find(keysym);
    if (position && keys_.lends(position->code)) {
        // A lent keycode: the map read earlier may no longer be true of it.
        position.reset();
    }
    const auto shift = map_->find(XK_Shift_L);
    if (position && position->shifted && !shift) {
        // A shifted character needs a Shift key to reach its level.
        position.reset();
    }
    if (!position) {
        if (!keys_.canLend()) {
            return false;
        }
        auto lease = keys_.lease(keysym, LentKeys::Clock::now());
        if (!lease) {
            send();
            waitForReusableKey();
            lease = keys_.lease(keysym, LentKeys::Clock::now());
            if (!lease) {
                return false;
            }
        }
        if (lease->remap) {
            remaps_.emplace_back(lease->code, keysym);
        }
        position = KeyPosition{lease->code, false};
    }
    if (position->shifted) {
        events_.push_back({shift->code, true});
    }
    events_.push_back({position->code, true});
    events_.push_back({position->code, false});
    if (position->shifted) {
        events_.push_back({shift->code, false});
    }
    return true;
}

void TypingBurst::send() {
    if (events_.empty()) {
        return;
    }
    {
        const ServerGrab grab(display_);
        for (const auto& [code, keysym] : remaps_) {
            remapKeycode(display_, code, lentRow(keysym, map_->symbolsPerKeycode()));
        }
        XTestInput(display_).send(events_);
    }
    keys_.delivered(LentKeys::Clock::now());
    remaps_.clear();
    events_.clear();
}

void TypingBurst::waitForReusableKey() {
    const auto deadline = keys_.reusableAt();
    // An answer speaks only for the client that answers: only while the
    // burst's receiver still has the focus does it cover the burst's events.
    if (receiver_ != None && pingableFocus(display_) == receiver_) {
        FocusPing ping(display_, receiver_);
        if (ping.answered(deadline)) {
            keys_.read(start_, ping.sentAt());
            return;
        }
    }
    std::this_thread::sleep_until(deadline);
}

} // namespace obx::x11
