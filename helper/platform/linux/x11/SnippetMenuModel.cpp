#include "platform/linux/x11/SnippetMenuModel.h"

namespace obx::x11 {

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

} // namespace obx::x11
