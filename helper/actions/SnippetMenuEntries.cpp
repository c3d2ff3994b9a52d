#include "actions/SnippetMenuEntries.h"

namespace obx {

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

} // namespace obx
