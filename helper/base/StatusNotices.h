#pragma once

// What the user should know about the helper's state and cannot see
// elsewhere: a desktop bridge that cannot run, a driver that does not answer,
// an installer step that failed. The subsystem that finds it sets a notice
// under its own source name and clears it when the cause is gone; the page
// reads them all from one place. Bounded, and safe from any thread.

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace obx {

struct StatusNotice {
    std::string source;
    std::string text;
};

class StatusNotices {
public:
    static constexpr std::size_t sourceLimit = 16;
    static constexpr std::size_t textLimit = 1024;

    // The process's one list.
    static StatusNotices& instance();

    // Sets or replaces the notice of source (text cut at textLimit bytes, on a
    // character boundary); an empty text clears it. Past sourceLimit sources a
    // new one is dropped. The listener is called whenever the list changed,
    // outside the list's lock.
    void set(const std::string& source, std::string text);
    void clear(const std::string& source) { set(source, {}); }

    // In the order the sources first set a notice.
    std::vector<StatusNotice> notices() const;

    // One listener at a time (the event stream); an empty one removes it.
    // Once this returns, the old listener is not running and is never called
    // again, so its owner may go.
    void setListener(std::function<void()> listener);

private:
    mutable std::mutex mutex_;
    std::vector<StatusNotice> notices_;
    // Held while the listener runs and while it is replaced; the listener
    // must not wait.
    std::mutex listenerMutex_;
    std::function<void()> listener_;
};

} // namespace obx
