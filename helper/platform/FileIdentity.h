#pragma once

// What tells one version of a file from another without reading it: the file
// itself (device and file number) and its size and times. A file replaced by
// a rename is another file; one written over in place has other times.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace obx {

struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const FileIdentity&) const = default;
};

// Empty when the file cannot be looked at (gone, no permission).
std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path);

} // namespace obx
