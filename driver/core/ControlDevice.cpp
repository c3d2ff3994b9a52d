#include "driver/core/ControlDevice.h"

#include <cstring>
#include <string_view>

namespace obx::driver {

namespace {

struct RequestSizes {
    uint32_t code;
    uint32_t minInput;
    uint32_t minOutput;
};

constexpr uint32_t kSwitchSize = sizeof(uint32_t);

constexpr RequestSizes kRequests[] = {
    {IOCTL_OBX_GET_DRIVER_INFO, 0, sizeof(OBX_DRIVER_INFO)},
    {IOCTL_OBX_SET_SLOW_POINTER, kSwitchSize, 0},
    {IOCTL_OBX_GET_SLOW_POINTER, 0, kSwitchSize},
    {IOCTL_OBX_SET_SINGLE_AXIS, kSwitchSize, 0},
    {IOCTL_OBX_GET_SINGLE_AXIS, 0, kSwitchSize},
    {IOCTL_OBX_RESERVED_1, 0, 0},
    {IOCTL_OBX_RESERVED_2, 0, 0},
    {IOCTL_OBX_SET_SCROLL_PARAMS, sizeof(OBX_SCROLL_PARAMS), 0},
    {IOCTL_OBX_GET_SCROLL_PARAMS, 1, sizeof(OBX_SCROLL_PARAMS)},
    {IOCTL_OBX_GET_DEVICE_INFO, 0, sizeof(OBX_DEVICE_INFO)},
    {IOCTL_OBX_SET_BUTTON_MAP, sizeof(OBX_BUTTON_MAP), 0},
    {IOCTL_OBX_INJECT_BUTTONS, sizeof(OBX_INJECT_BUTTONS), 0},
    {IOCTL_OBX_REGISTER_HELPER, 0, 0},
};

const RequestSizes* findRequest(uint32_t code) {
    for (const RequestSizes& r : kRequests) {
        if (r.code == code)
            return &r;
    }
    return nullptr;
}

uint32_t readSwitch(std::span<const uint8_t> input) {
    uint32_t value = 0;
    std::memcpy(&value, input.data(), sizeof value);
    return value;
}

// The prefix and then the number as "%02u" would print it; written here because a kernel host has no C
// library to format with.
template <size_t N>
void formatNumbered(std::array<char, N>& out, std::string_view prefix, uint32_t number) {
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    if (count < 2)
        digits[count++] = '0';
    size_t pos = 0;
    for (const char c : prefix) {
        if (pos + 1 < N)
            out[pos++] = c;
    }
    while (count > 0 && pos + 1 < N)
        out[pos++] = digits[--count];
    out[pos] = '\0';
}

template <typename Record>
Completion writeRecord(std::span<uint8_t> output, const Record& record) {
    std::memcpy(output.data(), &record, sizeof record);
    return {OBX_STATUS_SUCCESS, sizeof record};
}

} // namespace

ControlDeviceIdentity::ControlDeviceIdentity(uint32_t number) : instance(number) {
    formatNumbered(instanceId, "", number);
    formatNumbered(description, "Ombrix ", number);
}

ControlDevice::ControlDevice(uint32_t instance, IControlTarget& target, const IClock& clock,
                             ControlDeviceLocks locks)
    : identity_(instance), target_(target), clock_(clock), registrationLock_(locks.registration),
      lock_(locks.device), ring_(locks.ringStore, locks.ringTake) {}

Completion ControlDevice::deviceControl(FileObject file, uint32_t code, std::span<const uint8_t> input,
                                        std::span<uint8_t> output) {
    const RequestSizes* request = findRequest(code);
    if (request == nullptr)
        return {OBX_STATUS_INVALID_DEVICE_REQUEST, 0};
    if (input.size() < request->minInput || output.size() < request->minOutput)
        return {OBX_STATUS_BUFFER_TOO_SMALL, 0};

    switch (code) {
    case IOCTL_OBX_GET_DRIVER_INFO:
        return writeRecord(output, OBX_DRIVER_INFO{sizeof(OBX_DRIVER_INFO), OBX_DRIVER_VERSION});
    case IOCTL_OBX_SET_SLOW_POINTER:
        target_.setSlowPointer(readSwitch(input) != 0);
        return {OBX_STATUS_SUCCESS, kSwitchSize};
    case IOCTL_OBX_GET_SLOW_POINTER:
        return writeRecord(output, uint32_t{target_.slowPointer() ? 1u : 0u});
    case IOCTL_OBX_SET_SINGLE_AXIS:
        target_.setSingleAxis(readSwitch(input) != 0);
        return {OBX_STATUS_SUCCESS, kSwitchSize};
    case IOCTL_OBX_GET_SINGLE_AXIS:
        return writeRecord(output, uint32_t{target_.singleAxis() ? 1u : 0u});
    case IOCTL_OBX_SET_SCROLL_PARAMS: {
        OBX_SCROLL_PARAMS params;
        std::memcpy(&params, input.data(), sizeof params);
        target_.setScrollParams(params);
        return {OBX_STATUS_SUCCESS, sizeof params};
    }
    case IOCTL_OBX_GET_SCROLL_PARAMS:
        return writeRecord(output, target_.scrollParams(input[0]));
    case IOCTL_OBX_GET_DEVICE_INFO:
        return writeRecord(output, target_.deviceInfo());
    case IOCTL_OBX_SET_BUTTON_MAP:
        target_.setButtonMap(ButtonMap::fromRecord(input));
        return {OBX_STATUS_SUCCESS, 0};
    case IOCTL_OBX_INJECT_BUTTONS:
        return injectButtons(input);
    case IOCTL_OBX_REGISTER_HELPER:
        return registerHelper(file);
    default: // the reserved codes
        return {OBX_STATUS_SUCCESS, 0};
    }
}

Completion ControlDevice::injectButtons(std::span<const uint8_t> input) {
    OBX_INJECT_BUTTONS inject;
    std::memcpy(&inject, input.data(), sizeof inject);
    if (inject.Kind != OBX_INJECT_KIND_BUTTONS || inject.What < OBX_INJECT_PRESS ||
        inject.What > OBX_INJECT_CLICK)
        return {OBX_STATUS_INVALID_PARAMETER, 0};
    if (inject.What != OBX_INJECT_RELEASE)
        target_.buttonChange(inject.Buttons, 0);
    if (inject.What != OBX_INJECT_PRESS)
        target_.buttonChange(0, inject.Buttons);
    return {OBX_STATUS_SUCCESS, 0};
}

Completion ControlDevice::registerHelper(FileObject file) {
    LockGuard guard(registrationLock_);
    registered_ = file;
    target_.setHelperRegistered(true);
    return {OBX_STATUS_SUCCESS, 0};
}

void ControlDevice::fileClose(FileObject file) {
    {
        LockGuard guard(registrationLock_);
        if (file == registered_) {
            registered_ = nullptr;
            target_.setHelperRegistered(false);
        }
    }
    if (file == nullptr)
        return;
    IPendingRead* reads = nullptr;
    {
        LockGuard guard(lock_);
        reads = unlinkReads(file);
    }
    cancelAll(reads); // the handle is gone: nobody would take its reads
}

void ControlDevice::read(IPendingRead& request) {
    if (request.buffer().size() < sizeof(OBX_BUTTON_EVENT)) {
        // Such a read could never carry an event; it fails without consuming one.
        request.complete(OBX_STATUS_BUFFER_TOO_SMALL, 0);
        return;
    }
    bool waits = false;
    {
        LockGuard guard(lock_);
        waits = !purged_ && request.markCancelable();
        if (waits) {
            request.link = nullptr;
            if (tail_ != nullptr)
                tail_->link = &request;
            else
                head_ = &request;
            tail_ = &request;
        }
    }
    if (!waits) {
        request.complete(OBX_STATUS_CANCELLED, 0);
        return;
    }
    drain();
}

bool ControlDevice::cancelRead(IPendingRead& request) {
    LockGuard guard(lock_);
    IPendingRead* previous = nullptr;
    for (IPendingRead* r = head_; r != nullptr; previous = r, r = r->link) {
        if (r != &request)
            continue;
        (previous != nullptr ? previous->link : head_) = r->link;
        if (tail_ == r)
            tail_ = previous;
        r->link = nullptr;
        return true;
    }
    return false;
}

void ControlDevice::purgeReads() {
    IPendingRead* reads = nullptr;
    {
        LockGuard guard(lock_);
        purged_ = true;
        reads = unlinkReads(nullptr);
    }
    cancelAll(reads);
}

void ControlDevice::resumeReads() {
    LockGuard guard(lock_);
    purged_ = false;
}

void ControlDevice::postEvent(uint32_t pressed, uint32_t released) {
    OBX_BUTTON_EVENT event{};
    event.Flags = OBX_BUTTON_EVENT_FLAGS;
    event.Pressed = pressed;
    event.Released = released;
    post(event);
}

void ControlDevice::postGesture(uint32_t buttons, uint8_t direction, uint8_t steps) {
    OBX_GESTURE_EVENT event{};
    event.Flags = OBX_GESTURE_EVENT_FLAGS;
    event.Buttons = buttons;
    event.Direction = direction;
    event.Steps = steps;
    post(event);
}

template <typename Record>
void ControlDevice::post(Record record) {
    static_assert(sizeof record == sizeof(OBX_BUTTON_EVENT), "one read takes one record of either kind");
    record.TimeMs = clock_.uptimeMilliseconds();
    uint8_t bytes[sizeof record];
    std::memcpy(bytes, &record, sizeof record);
    if (ring_.store(bytes) != OBX_STATUS_SUCCESS)
        return; // full: the new event is dropped
    drain();
}

void ControlDevice::drain() {
    for (;;) {
        IPendingRead* request = nullptr;
        {
            // Taking the event and pairing it with the oldest read is one step.
            LockGuard guard(lock_);
            if (head_ == nullptr || ring_.take(head_->buffer()) != OBX_STATUS_SUCCESS)
                return;
            request = head_;
            head_ = request->link;
            if (head_ == nullptr)
                tail_ = nullptr;
            request->link = nullptr;
        }
        request->complete(OBX_STATUS_SUCCESS, sizeof(OBX_BUTTON_EVENT));
    }
}

IPendingRead* ControlDevice::unlinkReads(FileObject file) {
    IPendingRead* taken = nullptr;
    IPendingRead** takenTail = &taken;
    IPendingRead** cursor = &head_;
    tail_ = nullptr;
    while (*cursor != nullptr) {
        IPendingRead* r = *cursor;
        if (file == nullptr || r->file() == file) {
            *cursor = r->link;
            r->link = nullptr;
            *takenTail = r;
            takenTail = &r->link;
        } else {
            tail_ = r;
            cursor = &r->link;
        }
    }
    return taken;
}

void ControlDevice::cancelAll(IPendingRead* list) {
    while (list != nullptr) {
        IPendingRead* next = list->link;
        list->link = nullptr;
        list->complete(OBX_STATUS_CANCELLED, 0);
        list = next;
    }
}

} // namespace obx::driver
