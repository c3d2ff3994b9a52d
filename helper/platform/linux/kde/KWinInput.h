#pragma once

// Input on KDE Plasma through KWin's fake input (org_kde_kwin_fake_input):
// keystrokes on the keys of the session's keymap, text as keys of the
// current layout or else pasted through the clipboard (wlr data-control),
// buttons. KWin offers fake input only to a program its desktop file
// authorises. A connection of its own, served by a thread of its own (which
// also serves the clipboard content given back after a paste), made again
// after KWin went away; every wait on KWin is bounded. Calls may come from
// any thread; each returns once KWin has its input.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace obx::kde {

// KWin did not offer fake input to this program: what is missing, in words.
class FakeInputRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class KWinInput {
public:
    // displayName: as WAYLAND_DISPLAY (a name or an absolute path); empty for
    // the environment's.
    explicit KWinInput(std::string displayName = {},
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
    ~KWinInput();
    KWinInput(const KWinInput&) = delete;
    KWinInput& operator=(const KWinInput&) = delete;

    // As the platform services name them: modifier mask and virtual key.
    // Throws FakeInputRefused, or std::runtime_error when KWin cannot be
    // reached.
    void keystroke(std::uint16_t modifiers, std::uint16_t virtualKey, bool down, bool modifiersOnly);
    // Types the UTF-8 text exactly: as keys when the current layout gives
    // every character, else pasted. Throws as keystroke.
    void type(const std::string& text);
    // An evdev button code (BTN_LEFT...). Throws as keystroke.
    void button(std::uint32_t code, bool down);

private:
    class Connection;
    using Job = std::function<void(Connection&)>;

    // Runs the job on the thread and waits for it, bounded.
    void run(Job job, std::chrono::milliseconds wait);
    void serve();
    void wake();

    std::string displayName_;
    std::chrono::milliseconds timeout_;
    std::mutex mutex_;
    std::deque<std::pair<Job, std::shared_ptr<std::promise<void>>>> jobs_;
    bool stopping_ = false;
    int wakeFd_ = -1;
    // Used on the thread only.
    std::unique_ptr<Connection> connection_;
    std::thread thread_;
};

} // namespace obx::kde
