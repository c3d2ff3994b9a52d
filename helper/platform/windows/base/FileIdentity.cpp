#include "platform/FileIdentity.h"

#include <windows.h>

namespace obx {

namespace {

std::uint64_t joined(DWORD high, DWORD low) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

} // namespace

std::optional<FileIdentity> fileIdentity(const std::filesystem::path& path) {
    // Opened for no access: looking does not disturb a writer or a reader.
    HANDLE file = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    FILE_BASIC_INFO times{};
    const bool known = ::GetFileInformationByHandle(file, &information) != 0 &&
                       ::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) != 0;
    ::CloseHandle(file);
    if (!known) {
        return std::nullopt;
    }
    return FileIdentity{information.dwVolumeSerialNumber,
                        joined(information.nFileIndexHigh, information.nFileIndexLow),
                        joined(information.nFileSizeHigh, information.nFileSizeLow),
                        times.LastWriteTime.QuadPart, times.ChangeTime.QuadPart};
}

} // namespace obx
