#pragma once

// A blocking client of a control socket: sends requests and collects their completions, which may come
// in another order than the requests (a read waits while later requests complete).

#include "UniqueFd.h"
#include "wire/ControlWire.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace obx::kernd {

struct WireCompletion {
    uint32_t id = 0;
    uint32_t status = 0;
    std::vector<uint8_t> output; // `information` bytes
};

class ControlClient {
public:
    // Throws std::runtime_error when the socket cannot be reached.
    explicit ControlClient(const std::filesystem::path& socket);
    // A connection made elsewhere (for example by a process of another user).
    explicit ControlClient(UniqueFd connected) : fd_(std::move(connected)) {}

    int fd() const { return fd_.get(); }

    // Returns the request's id.
    uint32_t submit(uint32_t kind, uint32_t code, std::span<const uint8_t> input, uint32_t outputLength);
    uint32_t submitRead(uint32_t outputLength = 42) { return submit(wire::kKindRead, 0, {}, outputLength); }

    // The completion of request `id`; others that arrive first are kept for later. Empty on time-out,
    // on a malformed completion and when the daemon closed the connection (see closed()).
    std::optional<WireCompletion> waitFor(uint32_t id, std::chrono::milliseconds timeout);
    // The next completion of any request.
    std::optional<WireCompletion> next(std::chrono::milliseconds timeout);

    // A device control, waited for.
    std::optional<WireCompletion> control(uint32_t code, std::span<const uint8_t> input,
                                          uint32_t outputLength, std::chrono::milliseconds timeout);

    bool closed() const { return closed_; }

private:
    std::optional<WireCompletion> receive(std::chrono::steady_clock::time_point deadline);

    UniqueFd fd_;
    uint32_t nextId_ = 1;
    bool closed_ = false;
    std::deque<WireCompletion> early_;
};

} // namespace obx::kernd
