#include "ControlEndpoint.h"

#include "Log.h"

#include <algorithm>
#include <cstring>
#include <sys/socket.h>

namespace obx::kernd {

using driver::ObxStatus;

namespace {

constexpr size_t kEventBytes = sizeof(OBX_BUTTON_EVENT);

// A read on the control device, with the completion message that it becomes. A larger buffer than one
// event is offered to the driver as one event's size: the driver never fills more.
class SocketRead final : public driver::IPendingRead {
public:
    explicit SocketRead(SeqPacketConnection& connection) : connection_(connection) {}

    bool idle() const { return idle_; }
    void begin(driver::FileObject file, uint32_t id, uint32_t outputLength) {
        file_ = file;
        id_ = id;
        length_ = std::min<size_t>(outputLength, kEventBytes);
        idle_ = false;
    }
    // Completions after this are not sent: the handle is being closed.
    void detach() { detached_ = true; }

    driver::FileObject file() const override { return file_; }
    std::span<uint8_t> buffer() override {
        return std::span(message_).subspan(wire::kCompletionHeaderSize, length_);
    }
    void complete(ObxStatus status, uint32_t information) override {
        idle_ = true;
        if (detached_)
            return;
        information = std::min<uint32_t>(information, static_cast<uint32_t>(length_));
        wire::encodeCompletionHeader({id_, status, information},
                                     std::span(message_).first<wire::kCompletionHeaderSize>());
        connection_.send(std::span(message_).first(wire::kCompletionHeaderSize + information));
    }

private:
    SeqPacketConnection& connection_;
    driver::FileObject file_ = nullptr;
    uint32_t id_ = 0;
    size_t length_ = 0;
    bool idle_ = true;
    bool detached_ = false;
    std::array<uint8_t, wire::kCompletionHeaderSize + kEventBytes> message_{};
};

} // namespace

class ControlConnection final : private IMessageHandler {
public:
    ControlConnection(ControlEndpoint& endpoint, UniqueFd fd, uid_t peer)
        : endpoint_(endpoint), place_(endpoint.listener_, peer),
          connection_(endpoint.loop_, std::move(fd), *this) {}

    const ListenerPlace& place() const { return place_; }

    ~ControlConnection() override {
        for (const auto& read : reads_)
            read->detach();
        endpoint_.device_.fileClose(this);
    }

private:
    std::span<uint8_t> receiveBuffer() override { return endpoint_.buffer_; }

    bool onMessage(SeqPacketConnection&, size_t length) override {
        const std::optional<wire::RequestHeader> request =
            wire::decodeRequestHeader(endpoint_.buffer_, length);
        if (!request) {
            logf(LogLevel::warning, "%s: malformed request of %zu bytes; closing that connection",
                 endpoint_.path().c_str(), length);
            return false;
        }
        switch (request->kind) {
        case wire::kKindDeviceControl:
            deviceControl(*request, length <= endpoint_.buffer_.size());
            break;
        case wire::kKindRead:
            read(*request);
            break;
        default: // writes and anything else: the control device takes none
            sendCompletion(request->id, OBX_STATUS_INVALID_DEVICE_REQUEST, 0);
            break;
        }
        return true;
    }

    void onClosed(SeqPacketConnection&) override { endpoint_.release(*this); }

    // Buffered transfer: input and output share one system buffer, which the completion returns the
    // first `information` bytes of.
    void deviceControl(const wire::RequestHeader& request, bool inputWhole) {
        if (!inputWhole || request.outputLength > ControlEndpoint::kMaxBufferBytes) {
            sendCompletion(request.id, OBX_STATUS_INSUFFICIENT_RESOURCES, 0);
            return;
        }
        uint8_t* system = endpoint_.buffer_.data() + wire::kRequestHeaderSize;
        const size_t size = std::max(request.inputLength, request.outputLength);
        std::fill(system + request.inputLength, system + size, uint8_t{0});
        const driver::Completion done = endpoint_.device_.deviceControl(
            this, request.code, std::span<const uint8_t>(system, request.inputLength),
            std::span<uint8_t>(system, request.outputLength));
        sendCompletion(request.id, done.status,
                       std::min<uint32_t>(done.information, static_cast<uint32_t>(size)));
    }

    void read(const wire::RequestHeader& request) {
        SocketRead* read = idleRead();
        if (read == nullptr) {
            sendCompletion(request.id, OBX_STATUS_INSUFFICIENT_RESOURCES, 0);
            return;
        }
        read->begin(this, request.id, request.outputLength);
        endpoint_.device_.read(*read);
    }

    // Null when the connection already has its most waiting reads.
    SocketRead* idleRead() {
        for (const auto& read : reads_) {
            if (read->idle())
                return read.get();
        }
        if (reads_.size() == ControlEndpoint::kMaxPendingReads)
            return nullptr;
        return reads_.emplace_back(std::make_unique<SocketRead>(connection_)).get();
    }

    // The output is already in the shared buffer, right after the place of the header.
    void sendCompletion(uint32_t id, ObxStatus status, uint32_t information) {
        constexpr size_t kHeaderAt = wire::kRequestHeaderSize - wire::kCompletionHeaderSize;
        const std::span<uint8_t> message =
            std::span(endpoint_.buffer_).subspan(kHeaderAt, wire::kCompletionHeaderSize + information);
        wire::encodeCompletionHeader({id, status, information}, message.first<wire::kCompletionHeaderSize>());
        connection_.send(message);
    }

    ControlEndpoint& endpoint_;
    ListenerPlace place_;
    std::vector<std::unique_ptr<SocketRead>> reads_;
    SeqPacketConnection connection_;
};

ControlEndpoint::ControlEndpoint(EventLoop& loop, std::filesystem::path path, driver::ControlDevice& device,
                                 SocketAccess& access)
    : loop_(loop), device_(device), listener_(loop, std::move(path), access, kMaxConnections, *this) {}

ControlEndpoint::~ControlEndpoint() = default;

void ControlEndpoint::accepted(UniqueFd connection, uid_t peer) {
    connections_.push_back(std::make_unique<ControlConnection>(*this, std::move(connection), peer));
    logf(LogLevel::debug, "%s: handle opened (%zu open)", path().c_str(), connections_.size());
}

// Their waiting reads end unanswered: nothing more reaches a user who left the seat.
void ControlEndpoint::closeUnadmitted() {
    std::erase_if(connections_, [](const auto& connection) { return !connection->place().admitted(); });
}

void ControlEndpoint::release(ControlConnection& connection) {
    const auto found = std::find_if(connections_.begin(), connections_.end(),
                                    [&](const auto& c) { return c.get() == &connection; });
    if (found == connections_.end())
        return;
    connections_.erase(found);
    logf(LogLevel::debug, "%s: handle closed (%zu open)", path().c_str(), connections_.size());
}

} // namespace obx::kernd
