#include "platform/windows/devices/WindowsDriverChannel.h"

#include "platform/windows/devices/ControlHandleWatch.h"

#include <algorithm>
#include <boost/locale/encoding_utf.hpp>

namespace obx::windows {

WindowsDriverChannel::WindowsDriverChannel(std::wstring path, std::chrono::milliseconds controlTimeout,
                                           ControlHandleWatch* watch)
    : path_(std::move(path)), controlTimeout_(controlTimeout), watch_(watch) {}

WindowsDriverChannel::~WindowsDriverChannel() {
    close();
}

bool WindowsDriverChannel::open() {
    // Handles are not inherited: no security attributes.
    device_ = ::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    readEvent_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    controlEvent_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (device_ == INVALID_HANDLE_VALUE || !readEvent_ || !controlEvent_) {
        close();
        return false;
    }
    blocks_ = std::make_unique<Blocks>();
    if (watch_) {
        watch_->watch(*this, device_, boost::locale::conv::utf_to_utf<char>(path_));
    }
    return true;
}

void WindowsDriverChannel::releaseDevice() {
    if (reading_) {
        // A read that even its cancel cannot end keeps the blocks from being freed at the close.
        controlStuck_ = !cancelAndAwait(blocks_->read) || controlStuck_;
        reading_ = false;
    }
    if (device_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(device_);
        device_ = INVALID_HANDLE_VALUE;
    }
}

std::optional<std::uint32_t> WindowsDriverChannel::control(std::uint32_t code,
                                                           std::span<const std::uint8_t> input,
                                                           std::span<std::uint8_t> output) {
    if (!blocks_ || controlStuck_ || input.size() > controlCapacity || output.size() > controlCapacity) {
        return std::nullopt;
    }
    auto& overlapped = blocks_->control;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = controlEvent_;
    auto& buffer = blocks_->controlBuffer;
    std::copy(input.begin(), input.end(), buffer.begin());
    DWORD transferred = 0;
    if (!::DeviceIoControl(device_, code, input.empty() ? nullptr : buffer.data(),
                           static_cast<DWORD>(input.size()), output.empty() ? nullptr : buffer.data(),
                           static_cast<DWORD>(output.size()), nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return std::nullopt;
    }
    if (!::GetOverlappedResultEx(device_, &overlapped, &transferred,
                                 static_cast<DWORD>(controlTimeout_.count()), FALSE)) {
        if (::GetLastError() == WAIT_TIMEOUT && !cancelAndAwait(overlapped)) {
            controlStuck_ = true;
        }
        return std::nullopt;
    }
    const auto copied = std::min<std::size_t>(transferred, output.size());
    std::copy_n(buffer.begin(), copied, output.begin());
    return transferred;
}

bool WindowsDriverChannel::queueRead(std::span<std::uint8_t> buffer) {
    if (!blocks_ || reading_ || buffer.size() > readCapacity) {
        return false;
    }
    auto& overlapped = blocks_->read;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = readEvent_;
    readTarget_ = buffer;
    if (::ReadFile(device_, blocks_->readBuffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                   &overlapped) ||
        ::GetLastError() != ERROR_IO_PENDING) {
        // A read that ended at once has no completion for the worker; one
        // that completed must not be taken for pending.
        return false;
    }
    reading_ = true;
    return true;
}

IDriverChannel::ReadState WindowsDriverChannel::takeReadResult() {
    if (!reading_) {
        return ReadState::failed;
    }
    DWORD transferred = 0;
    if (::GetOverlappedResult(device_, &blocks_->read, &transferred, FALSE)) {
        reading_ = false;
        std::copy_n(blocks_->readBuffer.begin(), std::min<std::size_t>(transferred, readTarget_.size()),
                    readTarget_.begin());
        return ReadState::completed;
    }
    if (::GetLastError() == ERROR_IO_INCOMPLETE) {
        return ReadState::pending;
    }
    reading_ = false;
    return ReadState::failed;
}

bool WindowsDriverChannel::cancelAndAwait(OVERLAPPED& overlapped) {
    ::CancelIoEx(device_, &overlapped);
    DWORD transferred = 0;
    return ::GetOverlappedResultEx(device_, &overlapped, &transferred,
                                   static_cast<DWORD>(controlTimeout_.count()), FALSE) ||
           ::GetLastError() != WAIT_TIMEOUT;
}

void WindowsDriverChannel::close() {
    if (watch_) {
        watch_->forget(*this);
    }
    bool blocksFree = !controlStuck_;
    if (reading_) {
        blocksFree = cancelAndAwait(blocks_->read) && blocksFree;
        reading_ = false;
    }
    if (device_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(device_);
        device_ = INVALID_HANDLE_VALUE;
    }
    if (!blocksFree) {
        // A driver that ends no request, not even a cancelled one, may still
        // write into the blocks and signal their events: both are left to it
        // rather than freed, so that nothing else can be hit.
        static_cast<void>(blocks_.release());
        readEvent_ = controlEvent_ = nullptr;
    }
    blocks_.reset();
    for (HANDLE* event : {&readEvent_, &controlEvent_}) {
        if (*event) {
            ::CloseHandle(*event);
            *event = nullptr;
        }
    }
    readTarget_ = {};
}

} // namespace obx::windows
