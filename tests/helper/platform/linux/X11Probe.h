#pragma once

// Test-side X clients: a probe window that records the key and button events
// it receives, translated as an application would, whether a window manager
// asked it to close (WM_DELETE_WINDOW), and that answers pings
// (_NET_WM_PING) as toolkits do; and a fake window
// manager that keeps the EWMH root properties and records the requests sent
// to it.

#include <X11/Xlib.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace obx::x11::test {

inline constexpr auto generousWait = std::chrono::seconds(20);

// Polls the condition until it holds or the generous wait ends.
bool waitFor(const std::function<bool()>& condition);

struct ProbeEvent {
    int type;                // KeyPress, KeyRelease, ButtonPress, ButtonRelease
    unsigned long rawKeysym; // the key's own (unshifted) keysym
    unsigned long keysym;    // what the key produced under the state
    unsigned state;
    unsigned button;
    unsigned keycode;
    Time time = 0; // the server's, in milliseconds: when the event was made
};

// Reads its own connection on its own thread and handles each event, in
// order, `lag` after it arrived: a key event is translated with the keyboard
// map the server has at that moment, as Xlib does.
class ProbeWindow {
public:
    struct Behaviour {
        std::chrono::milliseconds lag{0};
        bool answersPings = true;
    };

    explicit ProbeWindow(const std::string& displayName) : ProbeWindow(displayName, Behaviour{}) {}
    ProbeWindow(const std::string& displayName, Behaviour behaviour);
    ~ProbeWindow();

    Window window() const { return window_; }
    std::vector<ProbeEvent> events() const;
    // Waits until at least count events arrived.
    std::vector<ProbeEvent> waitForEvents(std::size_t count) const;
    // The text of the key presses: the produced characters, Return as a line
    // feed.
    std::string typedText() const;
    void clear();
    bool closeRequested() const { return closeRequested_; }

private:
    void run();
    void handle(XEvent& event);

    Display* display_;
    Behaviour behaviour_;
    Window window_;
    Atom deleteWindow_;
    Atom ping_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closeRequested_{false};
    mutable std::mutex mutex_;
    std::vector<ProbeEvent> events_;
    std::thread thread_;
};

struct ClientRequest {
    Window window;
    std::string type;
    long data[5];
};

class FakeWindowManager {
public:
    explicit FakeWindowManager(const std::string& displayName);
    ~FakeWindowManager();

    Display* display() const { return display_; }
    void setActive(Window window);
    void setClients(const std::vector<Window>& windows);
    void setPid(Window window, long pid);
    void setClientMachine(Window window, const std::string& host);
    std::vector<ClientRequest> waitForRequests(std::size_t count);
    std::vector<ClientRequest> requests();

private:
    Display* display_;
    std::vector<ClientRequest> requests_;
};

} // namespace obx::x11::test
