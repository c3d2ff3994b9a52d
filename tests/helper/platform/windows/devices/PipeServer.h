#pragma once

// The server end of a named pipe of the test's own, standing in for a
// driver: what it writes completes the client's read, and closing it is the
// trackball's removal.

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <windows.h>

namespace obx::test {

class PipeServer {
public:
    PipeServer() {
        leaf_ = L"obx-channel-" + std::to_wstring(std::random_device{}());
        path_ = L"\\\\.\\pipe\\" + leaf_;
        handle_ = ::CreateNamedPipeW(path_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                     4096, 0, nullptr);
    }
    ~PipeServer() { disconnect(); }

    bool write(std::span<const std::uint8_t> bytes) {
        DWORD written = 0;
        return ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }
    void disconnect() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
            handle_ = INVALID_HANDLE_VALUE;
        }
    }

    const std::wstring& path() const { return path_; }
    const std::wstring& leaf() const { return leaf_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    std::wstring leaf_;
    std::wstring path_;
    HANDLE handle_;
};

} // namespace obx::test
