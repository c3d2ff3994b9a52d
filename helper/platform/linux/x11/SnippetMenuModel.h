#pragma once

// How the snippet menu's keyboard moves between its entries. Pure logic;
// PopupMenu draws it.

#include "actions/SnippetMenuEntries.h"

#include <cstddef>

namespace obx::x11 {

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

} // namespace obx::x11
