#include "devices/Device.h"

#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "base/MsgWFMOHandler.h"
#include "devices/ButtonMapRecord.h"
#include "devices/ProductAliases.h"
#include "settings/DeviceConfig.h"
#include "settings/Utf16Text.h"

#include <cstddef>
#include <mutex>
#include <stdexcept>

namespace obx {

namespace {

std::uint16_t loadU16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t loadU32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

std::u16string productString(const std::uint8_t* at) {
    std::u16string text;
    for (std::size_t i = 0; i < OBX_DEVICE_STRING_CHARS; ++i) {
        const auto unit = static_cast<char16_t>(loadU16(at + 2 * i));
        if (unit == 0) {
            break;
        }
        text += unit;
    }
    return text;
}

} // namespace

Device::Device(MsgWFMOHandler& worker, std::string devicePath, std::unique_ptr<IDriverChannel> channel)
    : worker_(worker), devicePath_(std::move(devicePath)), channel_(std::move(channel)) {}

Device::~Device() {
    log(LogLevel::debug, "Releasing device ID: ", id_);
    if (readRegistered_) {
        std::lock_guard guard(worker_);
        worker_.removeWaitHandler(channel_->readHandle());
    }
    channel_->close();
}

void Device::open() {
    if (!channel_->open()) {
        throw std::runtime_error("Error opening the device");
    }
    readDriverInfo();
    readDeviceInfo();
    if (!sendToDriver(IOCTL_OBX_REGISTER_HELPER, {})) {
        throw std::runtime_error("Error register helper app with driver");
    }
    log(LogLevel::info, "device arrived: ", name_, ", id: ", id_, ", realId: ", realId_,
        ", firmwareVersion: ", Hex{firmwareVersion_});
    queueRead();
    worker_.addWaitHandler(channel_->readHandle(), this, &Device::onReadComplete);
    readRegistered_ = true;
}

void Device::readDriverInfo() {
    std::array<std::uint8_t, sizeof(OBX_DRIVER_INFO)> info{};
    if (!queryDriver(IOCTL_OBX_GET_DRIVER_INFO, info)) {
        throw std::runtime_error("Error retrieving driver information");
    }
    log(LogLevel::debug, "Driver Info - struct size: ", loadU32(&info[offsetof(OBX_DRIVER_INFO, Size)]),
        ", version: 0x", Hex{loadU32(&info[offsetof(OBX_DRIVER_INFO, Version)])});
}

void Device::readDeviceInfo() {
    std::array<std::uint8_t, sizeof(OBX_DEVICE_INFO)> info{};
    if (!queryDriver(IOCTL_OBX_GET_DEVICE_INFO, info)) {
        throw std::runtime_error("Error retrieving device information from the driver");
    }
    name_ = utf16ToUtf8(productString(&info[offsetof(OBX_DEVICE_INFO, ProductString)]));
    const auto identity = identifyProduct(loadU16(&info[offsetof(OBX_DEVICE_INFO, ProductId)]));
    id_ = identity.id;
    realId_ = identity.realId;
    interfaceKind_ = identity.interfaceKind;
    firmwareVersion_ = loadU16(&info[offsetof(OBX_DEVICE_INFO, VersionNumber)]);
    capabilities_ = loadU16(&info[offsetof(OBX_DEVICE_INFO, Capabilities)]);
}

bool Device::queryDriver(std::uint32_t code, std::span<std::uint8_t> output) {
    const auto transferred = channel_->control(code, {}, output);
    return transferred && *transferred == output.size();
}

bool Device::sendToDriver(std::uint32_t code, std::span<const std::uint8_t> input) {
    const auto transferred = channel_->control(code, input, {});
    return transferred && *transferred == input.size();
}

void Device::applyPointerConfig() {
    platformServices().applyPointerSettings(
        config_->speed, config_->acceleration ? config_->accelerationRate : 0, config_->scrollLines);
}

void Device::applyScrollConfig() {
    applyPointerConfig();
    std::array<std::uint8_t, sizeof(OBX_SCROLL_PARAMS)> params{};
    params[offsetof(OBX_SCROLL_PARAMS, Wheel)] =
        0; // vertical; the horizontal wheel keeps the driver's values
    params[offsetof(OBX_SCROLL_PARAMS, Invert)] = config_->scrollInvert ? 1 : 0;
    params[offsetof(OBX_SCROLL_PARAMS, Inertial)] = config_->inertialScroll ? 1 : 0;
    if (!sendToDriver(IOCTL_OBX_SET_SCROLL_PARAMS, params)) {
        throw std::runtime_error("Error setting vert inertial scroll status");
    }
}

bool Device::applyButtonConfig() {
    ButtonMapBytes map;
    if (learning_) {
        buildLearningButtonMap(*config_, map);
    } else {
        buildButtonMap(*config_, map);
    }
    return sendToDriver(IOCTL_OBX_SET_BUTTON_MAP, map);
}

void Device::setLearning(bool learning) {
    learning_ = learning;
    if (config_ != nullptr) {
        applyButtonConfig();
    }
}

void Device::queueRead() {
    readBuffer_.fill(0);
    if (!channel_->queueRead(readBuffer_)) {
        throw std::runtime_error("Error queuing async read to the driver");
    }
}

void Device::onReadComplete() {
    std::lock_guard guard(worker_);
    const auto state = channel_->takeReadResult();
    if (state != IDriverChannel::ReadState::completed) {
        // Still waiting (a wake-up without a result), or the session ended:
        // a failed read leaves the device silent until it is opened again.
        return;
    }
    dispatchReadEvent();
    try {
        queueRead();
    } catch (...) {
        // Nothing to tell: the device stays listed and goes silent.
    }
}

void Device::dispatchReadEvent() {
    // A failing action must not cost the trackball its next read.
    try {
        if ((readBuffer_[offsetof(OBX_BUTTON_EVENT, Flags)] & OBX_BUTTON_EVENT_FLAGS) == 0) {
            return;
        }
        const auto pressed = loadU32(&readBuffer_[offsetof(OBX_BUTTON_EVENT, Pressed)]);
        const auto released = loadU32(&readBuffer_[offsetof(OBX_BUTTON_EVENT, Released)]);
        if (eventSink_ != nullptr) {
            eventSink_->buttonEvent(getId(), pressed, released);
        }
        if (learning_) {
            return;
        }
        if (config_ == nullptr) {
            log(LogLevel::debug, "Device ", devicePath_, " no config defined!");
            return;
        }
        config_->dispatchButtonEvent(*this, pressed, released);
    } catch (...) {
        // Swallowed: the action logs what it can, the worker goes on.
    }
}

} // namespace obx
