#include "VirtualMouseSink.h"

#include "PacketText.h"

namespace obx::kernd {

VirtualMouseSink::VirtualMouseSink(EventLoop& loop, std::filesystem::path path)
    : loop_(loop), listener_(loop, std::move(path), *this) {}

VirtualMouseSink::~VirtualMouseSink() = default;

void VirtualMouseSink::deliver(const driver::MouseInputData& packet) {
    PacketTextBuffer buffer;
    const std::string_view text = formatPacket(packet, buffer);
    const std::span bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    readers_.sendToAll(bytes);
}

void VirtualMouseSink::accepted(UniqueFd connection) {
    readers_.add(loop_, std::move(connection), *this);
}

void VirtualMouseSink::onClosed(SeqPacketConnection& connection) {
    readers_.remove(connection);
}

} // namespace obx::kernd
