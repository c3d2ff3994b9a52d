#include "platform/linux/menu/MenuInteraction.h"

#include <xkbcommon/xkbcommon-keysyms.h>

namespace obx::menu {

void MenuHighlight::next() {
    if (count_ > 0) {
        index_ = (index_ + 1) % static_cast<int>(count_);
    }
}

void MenuHighlight::previous() {
    if (count_ > 0) {
        index_ = index_ <= 0 ? static_cast<int>(count_) - 1 : index_ - 1;
    }
}

void MenuHighlight::first() {
    index_ = count_ > 0 ? 0 : -1;
}

void MenuHighlight::last() {
    index_ = static_cast<int>(count_) - 1;
}

void MenuHighlight::set(int index) {
    index_ = index >= 0 && index < static_cast<int>(count_) ? index : -1;
}

MenuStep MenuInteraction::key(std::uint32_t keysym) {
    const int before = highlight_.index();
    switch (keysym) {
    case XKB_KEY_Escape:
        return {true, std::nullopt};
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter:
    case XKB_KEY_space:
        if (before < 0) {
            return {true, std::nullopt};
        }
        return {true, static_cast<std::size_t>(before)};
    case XKB_KEY_Down:
    case XKB_KEY_KP_Down:
        highlight_.next();
        break;
    case XKB_KEY_Up:
    case XKB_KEY_KP_Up:
        highlight_.previous();
        break;
    case XKB_KEY_Home:
        highlight_.first();
        break;
    case XKB_KEY_End:
        highlight_.last();
        break;
    default:
        return {};
    }
    return {false, std::nullopt, highlight_.index() != before};
}

MenuStep MenuInteraction::motion(int x, int y) {
    const int before = highlight_.index();
    highlight_.set(geometry_.entryAt(x, y));
    return {false, std::nullopt, highlight_.index() != before};
}

MenuStep MenuInteraction::button(bool pressed, int x, int y) {
    if (pressed) {
        if (!geometry_.contains(x, y)) {
            return {true, std::nullopt};
        }
        pressedInside_ = true;
        return {};
    }
    const int entry = geometry_.entryAt(x, y);
    if (!pressedInside_ || entry < 0) {
        return {};
    }
    return {true, static_cast<std::size_t>(entry)};
}

} // namespace obx::menu
