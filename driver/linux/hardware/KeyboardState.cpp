#include "KeyboardState.h"

#include "../Log.h"
#include "../wire/ModifierWire.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <libudev.h>
#include <linux/input.h>
#include <sys/ioctl.h>

namespace obx::kernd {

namespace {

constexpr auto kFindAgainAfter = std::chrono::seconds(2);

using KeyBits =
    std::array<unsigned long, (KEY_MAX + 1 + 8 * sizeof(unsigned long) - 1) / (8 * sizeof(unsigned long))>;

bool has(const KeyBits& bits, unsigned key) {
    constexpr unsigned width = 8 * sizeof(unsigned long);
    return (bits[key / width] >> (key % width)) & 1;
}

// A node with the keys of a keyboard: a mouse or a trackball has no Ctrl, a media remote no letters.
bool isKeyboard(int fd) {
    KeyBits keys{};
    return ::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys.data()) >= 0 && has(keys, KEY_LEFTCTRL) &&
           has(keys, KEY_A);
}

// The seat that udev gives the node or the nearest device above it (a hub given to a seat gives it
// everything below).
std::string seatOf(udev_device* device) {
    for (udev_device* d = device; d != nullptr; d = udev_device_get_parent(d)) {
        if (const char* seat = udev_device_get_property_value(d, "ID_SEAT"); seat != nullptr && *seat != 0)
            return seat;
    }
    return "seat0";
}

struct Modifier {
    unsigned left;
    unsigned right;
    uint32_t bit;
};

constexpr std::array kModifiers{
    Modifier{KEY_LEFTSHIFT, KEY_RIGHTSHIFT, wire::kModifierShift},
    Modifier{KEY_LEFTCTRL, KEY_RIGHTCTRL, wire::kModifierCtrl},
    Modifier{KEY_LEFTALT, KEY_RIGHTALT, wire::kModifierAlt},
};

} // namespace

KeyboardState::KeyboardState(std::string seat) : seat_(std::move(seat)), udev_(udev_new()) {
    if (udev_ == nullptr)
        logf(LogLevel::warning, "udev cannot be used: no keyboard's modifiers are read");
}

KeyboardState::~KeyboardState() {
    udev_unref(udev_);
}

void KeyboardState::findKeyboards() {
    keyboards_.clear();
    found_ = std::chrono::steady_clock::now();
    udev_enumerate* nodes = udev_ != nullptr ? udev_enumerate_new(udev_) : nullptr;
    if (nodes == nullptr)
        return;
    udev_enumerate_add_match_subsystem(nodes, "input");
    udev_enumerate_add_match_sysname(nodes, "event*");
    udev_enumerate_scan_devices(nodes);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(nodes)) {
        if (keyboards_.size() == kMaxKeyboards)
            break;
        udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
        const char* node = device != nullptr ? udev_device_get_devnode(device) : nullptr;
        if (node != nullptr && seatOf(device) == seat_) {
            UniqueFd fd(::open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            if (fd && isKeyboard(fd.get()))
                keyboards_.push_back(std::move(fd));
        }
        udev_device_unref(device);
    }
    udev_enumerate_unref(nodes);
}

uint32_t KeyboardState::held() {
    if (std::chrono::steady_clock::now() - found_ >= kFindAgainAfter)
        findKeyboards();
    uint32_t mask = 0;
    for (const auto& keyboard : keyboards_) {
        KeyBits keys{};
        // A keyboard unplugged meanwhile fails here and is dropped at the next search.
        if (::ioctl(keyboard.get(), EVIOCGKEY(sizeof keys), keys.data()) < 0)
            continue;
        for (const auto& modifier : kModifiers) {
            if (has(keys, modifier.left) || has(keys, modifier.right))
                mask |= modifier.bit;
        }
    }
    return mask;
}

} // namespace obx::kernd
