#pragma once

// A seat's clipboard through wlr data-control, for pasting text: the
// selection is read before it is replaced, the text is offered marked as
// transient for clipboard managers, and afterwards the earlier content is
// offered again and served until another program takes the selection. Lives
// on the thread that dispatches the connection.

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <wayland-client.h>

struct zwlr_data_control_manager_v1;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

namespace obx::kde {

// Clipboard data by mime type, in the order offered.
using ClipboardContent = std::vector<std::pair<std::string, std::string>>;

// What a pasted text offers: UTF-8 text under its usual names, and the hint
// by which clipboard managers leave it out of their history.
ClipboardContent pastedText(const std::string& text);

struct ClipboardLimits {
    // Kept of the earlier content: mime types and bytes in all.
    std::size_t mimeTypes = 32;
    std::size_t bytes = 4 << 20;
    // How long the owner may take to hand over one mime type's data, and
    // all of them.
    std::chrono::milliseconds readTime{500};
    std::chrono::milliseconds allReadTime{2000};
    // After the paste: the wait for the first read of the text, and the
    // quiet after each read before the earlier content comes back.
    std::chrono::milliseconds firstRead{1000};
    std::chrono::milliseconds quiet{250};
};

class DataControlClipboard {
public:
    DataControlClipboard(wl_display* display, zwlr_data_control_manager_v1* manager, wl_seat* seat,
                         std::chrono::milliseconds timeout, ClipboardLimits limits = {});
    ~DataControlClipboard();
    DataControlClipboard(const DataControlClipboard&) = delete;
    DataControlClipboard& operator=(const DataControlClipboard&) = delete;

    // Offers the text, calls paste (which makes the focused program paste),
    // serves its reads, then offers the earlier content again (or clears the
    // selection when there was none). False, with nothing offered, when the
    // earlier content cannot be kept whole (beyond the bounds, or its owner
    // does not hand it over in time): the user's clipboard goes first.
    // Throws std::runtime_error when the compositor does not answer.
    bool pasteText(const std::string& text, const std::function<void()>& paste);

private:
    struct Offer;
    struct Source;

    static void dataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void selection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void finished(void* data, zwlr_data_control_device_v1*);
    static void primarySelection(void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}
    static void mimeType(void* data, zwlr_data_control_offer_v1*, const char* mimeType);
    static void send(void* data, zwlr_data_control_source_v1*, const char* mimeType, std::int32_t fd);
    static void cancelled(void* data, zwlr_data_control_source_v1*);

    void sync();
    // Empty when it cannot be kept whole (logged).
    std::optional<ClipboardContent> earlierContent();
    std::string read(zwlr_data_control_offer_v1* offer, const std::string& mimeType, std::size_t room,
                     std::chrono::steady_clock::time_point deadline);
    Source& offer(ClipboardContent content);
    void forget(Source& source);

    wl_display* display_;
    zwlr_data_control_manager_v1* manager_;
    zwlr_data_control_device_v1* device_;
    std::chrono::milliseconds timeout_;
    ClipboardLimits limits_;
    std::list<std::unique_ptr<Offer>> offers_;
    Offer* selection_ = nullptr;
    std::list<std::unique_ptr<Source>> sources_;
    // The earlier content offered again, while it is the selection.
    Source* kept_ = nullptr;
    bool finished_ = false;
};

} // namespace obx::kde
