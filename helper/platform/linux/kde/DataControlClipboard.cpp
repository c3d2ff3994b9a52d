#include "platform/linux/kde/DataControlClipboard.h"

#include "base/Log.h"
#include "platform/linux/wayland/BoundedRoundtrip.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace obx::kde {

namespace {

using Clock = std::chrono::steady_clock;

// Klipper leaves an offer with this mime type and data out of its history.
constexpr const char* transientHint = "x-kde-passwordManagerHint";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Writes all of the data unless the reader stalls past the deadline.
void writeAll(int fd, const std::string& data, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t written = write(fd, data.data() + done, data.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        pollfd ready{fd, POLLOUT, 0};
        if (written < 0 && errno == EAGAIN && poll(&ready, 1, millisecondsLeft(deadline)) > 0) {
            continue;
        }
        log(LogLevel::warning, "DataControlClipboard - a program stopped reading the clipboard");
        return;
    }
}

} // namespace

ClipboardContent pastedText(const std::string& text) {
    return {{"text/plain;charset=utf-8", text},
            {"text/plain", text},
            {"UTF8_STRING", text},
            {transientHint, "secret"}};
}

struct DataControlClipboard::Offer {
    zwlr_data_control_offer_v1* offer;
    std::vector<std::string> mimeTypes;
    std::size_t mimeTypeLimit;
};

struct DataControlClipboard::Source {
    DataControlClipboard* owner;
    zwlr_data_control_source_v1* source;
    ClipboardContent content;
    std::chrono::milliseconds writeTime;
    unsigned reads = 0;
    Clock::time_point lastRead{};
    bool cancelled = false;
};

DataControlClipboard::DataControlClipboard(wl_display* display, zwlr_data_control_manager_v1* manager,
                                           wl_seat* seat, std::chrono::milliseconds timeout,
                                           ClipboardLimits limits)
    : display_(display), manager_(manager),
      device_(zwlr_data_control_manager_v1_get_data_device(manager, seat)), timeout_(timeout),
      limits_(limits) {
    static constexpr zwlr_data_control_device_v1_listener listener{&dataOffer, &selection, &finished,
                                                                   &primarySelection};
    zwlr_data_control_device_v1_add_listener(device_, &listener, this);
}

DataControlClipboard::~DataControlClipboard() {
    for (const auto& source : sources_) {
        zwlr_data_control_source_v1_destroy(source->source);
    }
    for (const auto& offer : offers_) {
        zwlr_data_control_offer_v1_destroy(offer->offer);
    }
    zwlr_data_control_device_v1_destroy(device_);
}

void DataControlClipboard::dataOffer(void* data, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1* offer) {
    auto& self = *static_cast<DataControlClipboard*>(data);
    static constexpr zwlr_data_control_offer_v1_listener listener{&mimeType};
    self.offers_.push_back(std::make_unique<Offer>(Offer{offer, {}, self.limits_.mimeTypes}));
    zwlr_data_control_offer_v1_add_listener(offer, &listener, self.offers_.back().get());
}

void DataControlClipboard::mimeType(void* data, zwlr_data_control_offer_v1*, const char* mimeType) {
    auto& offer = *static_cast<Offer*>(data);
    if (offer.mimeTypes.size() < offer.mimeTypeLimit &&
        std::find(offer.mimeTypes.begin(), offer.mimeTypes.end(), mimeType) == offer.mimeTypes.end()) {
        offer.mimeTypes.emplace_back(mimeType);
    }
}

void DataControlClipboard::selection(void* data, zwlr_data_control_device_v1*,
                                     zwlr_data_control_offer_v1* offer) {
    auto& self = *static_cast<DataControlClipboard*>(data);
    self.selection_ = nullptr;
    // Only the selection's offer is of use; the earlier ones go.
    for (auto each = self.offers_.begin(); each != self.offers_.end();) {
        if ((*each)->offer == offer) {
            self.selection_ = each->get();
            ++each;
        } else {
            zwlr_data_control_offer_v1_destroy((*each)->offer);
            each = self.offers_.erase(each);
        }
    }
}

void DataControlClipboard::finished(void* data, zwlr_data_control_device_v1*) {
    static_cast<DataControlClipboard*>(data)->finished_ = true;
}

void DataControlClipboard::send(void* data, zwlr_data_control_source_v1*, const char* mimeType,
                                std::int32_t fd) {
    auto& source = *static_cast<Source*>(data);
    const FileDescriptor target(fd);
    const auto found = std::find_if(source.content.begin(), source.content.end(),
                                    [&](const auto& entry) { return entry.first == mimeType; });
    if (found == source.content.end()) {
        return;
    }
    fcntl(target.get(), F_SETFL, fcntl(target.get(), F_GETFL) | O_NONBLOCK);
    writeAll(target.get(), found->second, Clock::now() + source.writeTime);
    ++source.reads;
    source.lastRead = Clock::now();
}

void DataControlClipboard::cancelled(void* data, zwlr_data_control_source_v1*) {
    auto& source = *static_cast<Source*>(data);
    source.cancelled = true;
    if (source.owner->kept_ == &source) {
        // Another program took the selection: the earlier content is its
        // business now.
        source.owner->forget(source);
    }
}

void DataControlClipboard::sync() {
    if (!wayland::boundedRoundtrip(display_, timeout_)) {
        throw std::runtime_error("KWin did not answer");
    }
}

DataControlClipboard::Source& DataControlClipboard::offer(ClipboardContent content) {
    static constexpr zwlr_data_control_source_v1_listener listener{&send, &cancelled};
    auto source = std::make_unique<Source>(Source{
        this, zwlr_data_control_manager_v1_create_data_source(manager_), std::move(content), timeout_});
    zwlr_data_control_source_v1_add_listener(source->source, &listener, source.get());
    for (const auto& entry : source->content) {
        zwlr_data_control_source_v1_offer(source->source, entry.first.c_str());
    }
    sources_.push_back(std::move(source));
    return *sources_.back();
}

void DataControlClipboard::forget(Source& source) {
    if (kept_ == &source) {
        kept_ = nullptr;
    }
    zwlr_data_control_source_v1_destroy(source.source);
    sources_.remove_if([&](const auto& each) { return each.get() == &source; });
}

std::string DataControlClipboard::read(zwlr_data_control_offer_v1* offer, const std::string& mimeType,
                                       std::size_t room, std::chrono::steady_clock::time_point deadline) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot make a pipe for the clipboard");
    }
    const FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);
    zwlr_data_control_offer_v1_receive(offer, mimeType.c_str(), writing.get());
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        throw std::runtime_error("KWin went away");
    }
    writing.reset();
    std::string data;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(reading.get(), buffer, sizeof buffer);
        if (got == 0) {
            return data;
        }
        if (got > 0) {
            if (data.size() + static_cast<std::size_t>(got) > room) {
                throw std::length_error("larger than the room left");
            }
            data.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        pollfd ready{reading.get(), POLLIN, 0};
        if (errno == EINTR || (errno == EAGAIN && poll(&ready, 1, millisecondsLeft(deadline)) > 0)) {
            continue;
        }
        throw std::runtime_error("no answer in time");
    }
}

std::optional<ClipboardContent> DataControlClipboard::earlierContent() {
    if (kept_) {
        return kept_->content;
    }
    ClipboardContent content;
    if (!selection_) {
        return content;
    }
    std::size_t room = limits_.bytes;
    const auto deadline = Clock::now() + limits_.allReadTime;
    for (const auto& mimeType : selection_->mimeTypes) {
        try {
            auto data =
                read(selection_->offer, mimeType, room, std::min(deadline, Clock::now() + limits_.readTime));
            room -= data.size();
            content.emplace_back(mimeType, std::move(data));
        } catch (const std::length_error&) {
            log(LogLevel::warning, "DataControlClipboard - the clipboard cannot be kept for a paste: its ",
                mimeType, " goes beyond ", limits_.bytes, " bytes in all");
            return std::nullopt;
        } catch (const std::runtime_error& error) {
            log(LogLevel::warning, "DataControlClipboard - the clipboard cannot be kept for a paste: its ",
                mimeType, " could not be read: ", error.what());
            return std::nullopt;
        }
    }
    return content;
}

bool DataControlClipboard::pasteText(const std::string& text, const std::function<void()>& paste) {
    if (finished_) {
        throw std::runtime_error("KWin withdrew the clipboard");
    }
    sync(); // the latest selection, and whether the kept content is still it
    auto earlier = earlierContent();
    if (!earlier) {
        return false;
    }
    Source& snippet = offer(pastedText(text));
    zwlr_data_control_device_v1_set_selection(device_, snippet.source);
    sync();
    paste();
    // The program reads the text when it handles the paste; it may read it
    // under several mime types.
    wayland::dispatchUntil(
        display_, [&] { return snippet.reads > 0 || snippet.cancelled; }, limits_.firstRead);
    if (snippet.reads == 0) {
        log(LogLevel::warning, "DataControlClipboard - the focused program did not read the pasted text");
    }
    while (!snippet.cancelled && snippet.reads > 0 &&
           wayland::dispatchUntil(
               display_, [&, reads = snippet.reads] { return snippet.reads > reads || snippet.cancelled; },
               limits_.quiet)) {
    }
    if (wl_display_get_error(display_) != 0) {
        throw std::runtime_error("KWin went away");
    }
    if (snippet.cancelled) {
        // Another program took the selection meanwhile: its content stays.
        forget(snippet);
        return true;
    }
    if (kept_) {
        forget(*kept_);
    }
    if (earlier->empty()) {
        zwlr_data_control_device_v1_set_selection(device_, nullptr);
    } else {
        kept_ = &offer(std::move(*earlier));
        zwlr_data_control_device_v1_set_selection(device_, kept_->source);
    }
    forget(snippet);
    sync();
    return true;
}

} // namespace obx::kde
