#include "platform/DurableFile.h"

#include <limits>
#include <windows.h>

namespace obx {

namespace {

std::error_code lastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::error_code writeAll(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size(), std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!::WriteFile(file, content.data(), chunk, &written, nullptr)) {
            return lastError();
        }
        content.remove_prefix(written);
    }
    return {};
}

} // namespace

std::error_code writeFileDurably(const std::filesystem::path& path, std::string_view content) {
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    auto error = writeAll(file, content);
    if (!error && !::FlushFileBuffers(file)) {
        error = lastError();
    }
    if (!::CloseHandle(file) && !error) {
        error = lastError();
    }
    return error;
}

std::error_code replaceFileDurably(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Write-through: the call returns only once the new name is on the disk.
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return lastError();
    }
    return {};
}

} // namespace obx
