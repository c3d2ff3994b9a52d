#include "settings/ProfileRequests.h"

#include <optional>
#include <stdexcept>

namespace obx {

using nlohmann::json;

namespace {

[[noreturn]] void refuse(const std::string& reason) {
    throw std::invalid_argument(reason);
}

const json::object_t& objectBody(const json& body) {
    if (!body.is_object()) {
        refuse("The request body must be a JSON object");
    }
    return body.get_ref<const json::object_t&>();
}

std::string boundedText(const json& value, std::size_t limit, const std::string& what) {
    if (!value.is_string() || value.get_ref<const std::string&>().size() > limit) {
        refuse(what + " must be text of at most " + std::to_string(limit) + " bytes");
    }
    return value.get<std::string>();
}

Snippet snippetFromRequest(const json& entry, std::size_t index) {
    const auto where = "Snippet " + std::to_string(index + 1);
    if (!entry.is_object()) {
        refuse(where + " must be an object with \"content\" and \"label\"");
    }
    Snippet snippet;
    for (const auto& [key, value] : entry.items()) {
        if (key == "content") {
            snippet.content = boundedText(value, snippetContentLimit, where + ": \"content\"");
        } else if (key == "label") {
            snippet.label = boundedText(value, snippetLabelLimit, where + ": \"label\"");
        } else {
            refuse(where + " has the unknown member \"" + key + "\"");
        }
    }
    if (!entry.contains("content")) {
        refuse(where + " has no \"content\"");
    }
    return snippet;
}

// UTF-8 as the JSON reader left it (valid): the number of code points, or
// nothing when one of them is a control character (C0, DEL or C1).
std::optional<std::size_t> printableCharacters(const std::string& text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (byte < 0x20 || byte == 0x7F || c1) {
            return std::nullopt;
        }
        count += (byte & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

} // namespace

SnippetSlots snippetSlotsFromRequest(const json& body) {
    const auto& fields = objectBody(body);
    const auto list = fields.find("snippets");
    if (list == fields.end() || !list->second.is_array() || list->second.size() > snippetSlotCount) {
        refuse("\"snippets\" must be a list of at most " + std::to_string(snippetSlotCount) + " snippets");
    }
    SnippetSlots slots;
    for (std::size_t i = 0; i < list->second.size(); ++i) {
        slots[i] = snippetFromRequest(list->second[i], i);
    }
    return slots;
}

std::string profileNameFromRequest(const json& body) {
    const auto& fields = objectBody(body);
    const auto name = fields.find("name");
    if (name != fields.end() && name->second.is_string()) {
        const auto& text = name->second.get_ref<const std::string&>();
        const auto characters = printableCharacters(text);
        if (characters && *characters >= 1 && *characters <= profileNameLimit) {
            return text;
        }
    }
    refuse("\"name\" must be text of 1 to " + std::to_string(profileNameLimit) +
           " characters without control characters");
}

ProfileOrigin profileOriginFromRequest(const json& body) {
    const auto from = body.find("from");
    if (from == body.end() || *from == "default") {
        return ProfileOrigin::defaults;
    }
    if (*from == "global") {
        return ProfileOrigin::global;
    }
    refuse("\"from\" must be \"default\" or \"global\"");
}

} // namespace obx
