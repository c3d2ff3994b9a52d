#pragma once

// How the snippet menu answers the user's keys and buttons, the same on
// every display system: which entry is highlighted and when the menu ends.
// Pure logic; keys are keysyms (X11's and xkbcommon's are the same numbers).

#include "platform/linux/menu/MenuGeometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace obx::menu {

// The highlighted entry, moved as a menu moves it: the first step down from
// nothing reaches the first entry, up the last, and both wrap around.
class MenuHighlight {
public:
    explicit MenuHighlight(std::size_t count) : count_(count) {}

    void next();
    void previous();
    void first();
    void last();
    void set(int index);
    // -1: none.
    int index() const { return index_; }

private:
    std::size_t count_;
    int index_ = -1;
};

// What one piece of input did to the menu.
struct MenuStep {
    bool done = false;
    // When done: the chosen entry, or nothing when dismissed.
    std::optional<std::size_t> chosen;
    // The highlight changed: the menu is to be drawn again.
    bool redraw = false;
};

class MenuInteraction {
public:
    explicit MenuInteraction(const MenuGeometry& geometry, std::size_t count)
        : geometry_(geometry), highlight_(count) {}

    int highlighted() const { return highlight_.index(); }

    // Up/Down (wrapping), Home/End move; Return, keypad Enter or Space choose
    // the highlighted entry, or dismiss when none is; Escape dismisses.
    MenuStep key(std::uint32_t keysym);
    // The pointer at x, y of the menu highlights the entry under it.
    MenuStep motion(int x, int y);
    // A press outside the menu dismisses; the release of a press made in the
    // menu chooses the entry under the pointer (the release of the click
    // that opened the menu does not).
    MenuStep button(bool pressed, int x, int y);

private:
    const MenuGeometry& geometry_;
    MenuHighlight highlight_;
    bool pressedInside_ = false;
};

} // namespace obx::menu
