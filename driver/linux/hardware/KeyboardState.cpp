#include "KeyboardState.h"

#include "../Log.h"
#include "../wire/ModifierWire.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
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

KeyboardState::KeyboardState(std::filesystem::path folder) : folder_(std::move(folder)) {}

void KeyboardState::findKeyboards() {
    keyboards_.clear();
    found_ = std::chrono::steady_clock::now();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        if (keyboards_.size() == kMaxKeyboards)
            break;
        if (!entry.path().filename().string().starts_with("event"))
            continue;
        UniqueFd fd(::open(entry.path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd && isKeyboard(fd.get()))
            keyboards_.push_back(std::move(fd));
    }
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
