#include "platform/linux/x11/SnippetMenuModel.h"

namespace obx::x11 {

std::string menuCaption(const std::string& caption) {
    if (caption.size() <= captionLimit) {
        return caption;
    }
    std::size_t cut = captionLimit;
    // UTF-8 continuation bytes are 10xxxxxx: never keep half a character.
    while (cut > 0 && (static_cast<unsigned char>(caption[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return caption.substr(0, cut) + "...";
}

std::vector<SnippetMenuEntry> snippetMenuEntries(const std::vector<std::string>& contents,
                                                 const std::vector<std::string>& labels) {
    std::vector<SnippetMenuEntry> entries;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        if (contents[i].empty()) {
            continue;
        }
        const bool labelled = i < labels.size() && !labels[i].empty();
        entries.push_back({menuCaption(labelled ? labels[i] : contents[i]), contents[i]});
    }
    return entries;
}

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
