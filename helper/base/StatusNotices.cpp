#include "base/StatusNotices.h"

#include <algorithm>

namespace obx {

namespace {

// Cuts at most limit bytes without splitting a UTF-8 sequence.
void cutUtf8(std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
}

} // namespace

StatusNotices& StatusNotices::instance() {
    static StatusNotices notices;
    return notices;
}

void StatusNotices::set(const std::string& source, std::string text) {
    cutUtf8(text, textLimit);
    {
        std::lock_guard lock(mutex_);
        auto found = std::find_if(notices_.begin(), notices_.end(),
                                  [&](const StatusNotice& notice) { return notice.source == source; });
        if (text.empty()) {
            if (found == notices_.end()) {
                return;
            }
            notices_.erase(found);
        } else if (found != notices_.end()) {
            if (found->text == text) {
                return;
            }
            found->text = std::move(text);
        } else if (notices_.size() < sourceLimit) {
            notices_.push_back({source, std::move(text)});
        } else {
            return;
        }
    }
    std::lock_guard lock(listenerMutex_);
    if (listener_) {
        listener_();
    }
}

std::vector<StatusNotice> StatusNotices::notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
}

void StatusNotices::setListener(std::function<void()> listener) {
    std::lock_guard lock(listenerMutex_);
    listener_ = std::move(listener);
}

} // namespace obx
