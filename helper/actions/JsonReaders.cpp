#include "actions/JsonReaders.h"

#include "actions/LowerCase.h"

#include <sstream>

namespace obx {

namespace {

template <typename Number>
Number numberFromText(const std::string& text) {
    // Extraction stores 0 when the text holds no number and the nearest limit
    // on overflow, which is what the readers promise.
    Number number{};
    std::istringstream(text) >> number;
    return number;
}

template <typename Number>
Number readNumber(const nlohmann::json& value) {
    if (value.is_string()) {
        return numberFromText<Number>(value.get_ref<const std::string&>());
    }
    // Through the signed type, which also takes booleans as 0 and 1, so that
    // negative numbers wrap into unsigned fields.
    return static_cast<Number>(clampedInt<std::int32_t>(value));
}

} // namespace

std::uint32_t readRequiredInt(const nlohmann::json& object, const std::string& key) {
    return readNumber<std::uint32_t>(object.at(key));
}

std::int32_t readInt(const nlohmann::json& object, const std::string& key, std::int32_t fallback) {
    return object.contains(key) ? readNumber<std::int32_t>(object.at(key)) : fallback;
}

std::string readString(const nlohmann::json& object, const std::string& key, const std::string& fallback) {
    return object.contains(key) ? object.at(key).get<std::string>() : fallback;
}

bool readBool(const nlohmann::json& object, const std::string& key, bool fallback) {
    if (!object.contains(key)) {
        return fallback;
    }
    const auto& value = object.at(key);
    if (!value.is_string()) {
        return value.get<bool>();
    }
    const auto text = lowerCase(value.get<std::string>());
    return text != "false" && text != "0";
}

bool isWholeNumberIn(const nlohmann::json& value, std::int64_t lowest, std::int64_t highest) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return std::cmp_greater_equal(number, lowest) && std::cmp_less_equal(number, highest);
    }
    return value.is_number_integer() && value.get<std::int64_t>() >= lowest &&
           value.get<std::int64_t>() <= highest;
}

} // namespace obx
