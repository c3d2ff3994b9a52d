#include "VirtualHidSource.h"

#include "../Log.h"

namespace obx::kernd {

VirtualHidSource::VirtualHidSource(EventLoop& loop, std::filesystem::path path, HidIdentity identity)
    : loop_(loop), identity_(std::move(identity)), listener_(loop, std::move(path), *this) {}

VirtualHidSource::~VirtualHidSource() = default;

void VirtualHidSource::accepted(UniqueFd connection) {
    writers_.add(loop_, std::move(connection), *this);
}

bool VirtualHidSource::onMessage(SeqPacketConnection&, size_t length) {
    if (length > report_.size()) {
        logf(LogLevel::warning, "%s: report of %zu bytes dropped: too long", listener_.path().c_str(),
             length);
        return true;
    }
    if (sink_ != nullptr)
        sink_->onReport(std::span(report_.data(), length));
    return true;
}

void VirtualHidSource::onClosed(SeqPacketConnection& connection) {
    writers_.remove(connection);
}

} // namespace obx::kernd
