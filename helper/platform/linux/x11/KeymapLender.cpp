#include "platform/linux/x11/KeymapLender.h"

#include "base/Log.h"
#include "platform/linux/x11/KeyboardMap.h"

#include <algorithm>
#include <exception>

namespace obx::x11 {

std::vector<KeySymbol> lentRow(KeySymbol keysym, int symbolsPerKeycode) {
    std::vector<KeySymbol> row(static_cast<std::size_t>(symbolsPerKeycode), NoSymbol);
    for (std::size_t level = 0; level < std::min<std::size_t>(row.size(), 2); ++level) {
        row[level] = keysym;
    }
    return row;
}

void refreshLentKeys(LentKeys& keys, const KeyboardMap& map) {
    keys.refresh(map.spareKeycodes(), [&](unsigned code, KeySymbol keysym) {
        const auto row = map.row(code);
        return !row.empty() && row[0] == keysym &&
               std::all_of(row.begin(), row.end(), [&](KeySymbol s) { return s == keysym || s == NoSymbol; });
    });
}

void remapKeycode(Display* display, unsigned code, const std::vector<KeySymbol>& row) {
    std::vector<KeySym> symbols(row.begin(), row.end());
    XChangeKeyboardMapping(display, static_cast<int>(code), static_cast<int>(symbols.size()), symbols.data(),
                           1);
}

KeymapLender::KeymapLender(const std::string& displayName, std::chrono::milliseconds hold)
    : connection_(displayName), keys_(hold) {
    if (connection_.valid()) {
        restorer_ = std::thread([this] { run(); });
    }
}

KeymapLender::~KeymapLender() {
    if (restorer_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        restorer_.join();
    }
}

void KeymapLender::use(const std::function<void(Display*, LentKeys&)>& body) {
    std::unique_lock lock(mutex_);
    struct Ended {
        KeymapLender& lender;
        ~Ended() {
            lender.keys_.delivered(LentKeys::Clock::now());
            lender.wake_.notify_one();
        }
    } ended{*this};
    body(connection_.display(), keys_);
}

void KeymapLender::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (keys_.empty()) {
            if (stopping_) {
                return;
            }
            wake_.wait(lock);
        } else if (LentKeys::Clock::now() >= keys_.restoreAt()) {
            giveBack();
        } else {
            wake_.wait_until(lock, keys_.restoreAt());
        }
    }
}

void KeymapLender::giveBack() {
    Display* display = connection_.display();
    try {
        const KeyboardMap map(display);
        refreshLentKeys(keys_, map);
        const std::vector<KeySymbol> empty(static_cast<std::size_t>(map.symbolsPerKeycode()), NoSymbol);
        for (const auto& [code, keysym] : keys_.giveBack()) {
            remapKeycode(display, code, empty);
        }
    } catch (const std::exception& error) {
        // Nothing better is left than to stop tracking them.
        log(LogLevel::error, "KeymapLender - lent keycodes not given back: ", error.what());
        keys_.giveBack();
    }
    // The mapping notices of our own changes are of no use to us.
    XSync(display, True);
}

} // namespace obx::x11
