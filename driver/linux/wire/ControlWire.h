#pragma once

// The messages of a control socket. A request is one message: id, kind, code, input length, output
// length (u32 each), then the input. A completion is one message: id, status, information (u32 each),
// then exactly `information` bytes of output. Little-endian throughout. Shared by the daemon and its
// clients; header-only so that a client needs no library of the daemon.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace obx::wire {

inline constexpr uint32_t kKindDeviceControl = 1;
inline constexpr uint32_t kKindRead = 2;

inline constexpr size_t kRequestHeaderSize = 20;
inline constexpr size_t kCompletionHeaderSize = 12;

struct RequestHeader {
    uint32_t id = 0;
    uint32_t kind = 0;
    uint32_t code = 0;
    uint32_t inputLength = 0;
    uint32_t outputLength = 0;
};

struct CompletionHeader {
    uint32_t id = 0;
    uint32_t status = 0;
    uint32_t information = 0;
};

inline uint32_t loadU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline void storeU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// `header` holds at least the first kRequestHeaderSize bytes of a message of `messageLength` bytes.
// Empty when the message is malformed: too short, or an input length other than what follows.
inline std::optional<RequestHeader> decodeRequestHeader(std::span<const uint8_t> header,
                                                        size_t messageLength) {
    if (messageLength < kRequestHeaderSize || header.size() < kRequestHeaderSize)
        return std::nullopt;
    const RequestHeader r{loadU32(&header[0]), loadU32(&header[4]), loadU32(&header[8]), loadU32(&header[12]),
                          loadU32(&header[16])};
    if (messageLength - kRequestHeaderSize != r.inputLength)
        return std::nullopt;
    return r;
}

inline void encodeRequestHeader(const RequestHeader& r, std::span<uint8_t, kRequestHeaderSize> out) {
    storeU32(&out[0], r.id);
    storeU32(&out[4], r.kind);
    storeU32(&out[8], r.code);
    storeU32(&out[12], r.inputLength);
    storeU32(&out[16], r.outputLength);
}

// Empty when the message is malformed: too short, or a byte count other than what follows.
inline std::optional<CompletionHeader> decodeCompletionHeader(std::span<const uint8_t> message) {
    if (message.size() < kCompletionHeaderSize)
        return std::nullopt;
    const CompletionHeader c{loadU32(&message[0]), loadU32(&message[4]), loadU32(&message[8])};
    if (message.size() - kCompletionHeaderSize != c.information)
        return std::nullopt;
    return c;
}

inline void encodeCompletionHeader(const CompletionHeader& c, std::span<uint8_t, kCompletionHeaderSize> out) {
    storeU32(&out[0], c.id);
    storeU32(&out[4], c.status);
    storeU32(&out[8], c.information);
}

} // namespace obx::wire
