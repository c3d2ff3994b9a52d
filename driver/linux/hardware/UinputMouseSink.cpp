#include "UinputMouseSink.h"

#include "../Log.h"
#include "../UniqueFd.h"

#include <cstring>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <stdexcept>

namespace obx::kernd {

namespace {

constexpr unsigned kRelativeCodes[] = {
    REL_X, REL_Y, REL_WHEEL, REL_HWHEEL, REL_WHEEL_HI_RES, REL_HWHEEL_HI_RES};
constexpr unsigned kButtonCodes[] = {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA};

[[noreturn]] void fail(const std::string& what, int error) {
    throw std::runtime_error("uinput: " + what + ": " + std::strerror(error));
}

} // namespace

UinputMouseSink::UinputMouseSink(const UinputIdentity& identity) : device_(libevdev_new()) {
    if (device_ == nullptr)
        fail("libevdev_new", ENOMEM);
    libevdev_set_name(device_, identity.name.c_str());
    libevdev_set_id_bustype(device_, BUS_VIRTUAL);
    libevdev_set_id_vendor(device_, identity.vendor);
    libevdev_set_id_product(device_, identity.product);
    libevdev_set_id_version(device_, identity.version);
    libevdev_enable_property(device_, INPUT_PROP_POINTER);
    for (const unsigned code : kRelativeCodes)
        libevdev_enable_event_code(device_, EV_REL, code, nullptr);
    for (const unsigned code : kButtonCodes)
        libevdev_enable_event_code(device_, EV_KEY, code, nullptr);
    // Opened here rather than by libevdev so that the descriptor is close-on-exec for certain.
    UniqueFd fd(::open("/dev/uinput", O_RDWR | O_CLOEXEC));
    if (!fd) {
        const int error = errno;
        libevdev_free(device_);
        fail("/dev/uinput", error);
    }
    const int created = libevdev_uinput_create_from_device(device_, fd.get(), &uinput_);
    if (created != 0) {
        libevdev_free(device_);
        fail("creating \"" + identity.name + "\"", -created);
    }
    fd_ = std::move(fd);
}

UinputMouseSink::~UinputMouseSink() {
    libevdev_uinput_destroy(uinput_);
    libevdev_free(device_);
}

void UinputMouseSink::deliver(const driver::MouseInputData& packet) {
    for (const EvdevEvent& event : translator_.translate(packet, events_)) {
        const int written = libevdev_uinput_write_event(uinput_, event.type, event.code, event.value);
        if (written != 0 && !writeFailed_) {
            writeFailed_ = true; // said once: the device is gone or full, and every packet would repeat it
            logf(LogLevel::warning, "uinput: writing an event failed: %s", std::strerror(-written));
        }
    }
}

std::string UinputMouseSink::devnode() const {
    const char* node = libevdev_uinput_get_devnode(uinput_);
    return node != nullptr ? node : "";
}

} // namespace obx::kernd
