#pragma once

// Tolerant readers of action fields: settings written by hand or by older
// clients carry numbers as texts and flags as texts. Errors are the JSON
// library's own exceptions.

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace obx {

// A number as Int, clamped to Int's range (a floating-point number outside it
// would be undefined to convert), floating point cut toward zero. Booleans
// are 0 and 1; other kinds fail with the library's type_error.
template <std::integral Int>
Int clampedInt(const nlohmann::json& value) {
    using Limits = std::numeric_limits<Int>;
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isnan(number)) {
            return 0;
        }
        if (number <= static_cast<double>(Limits::min())) {
            return Limits::min();
        }
        // Int's maximum may round up to a double just above it.
        if (number >= static_cast<double>(Limits::max())) {
            return Limits::max();
        }
        return static_cast<Int>(number);
    }
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number > static_cast<std::uint64_t>(Limits::max()) ? Limits::max() : static_cast<Int>(number);
    }
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        if (std::cmp_less(number, Limits::min())) {
            return Limits::min();
        }
        if (std::cmp_greater(number, Limits::max())) {
            return Limits::max();
        }
        return static_cast<Int>(number);
    }
    return value.get<Int>();
}

// The key must exist. A text is read as an unsigned number the way stream
// extraction reads one (0 when it holds no number); numbers (floating point
// cut toward zero, clamped to the signed 32-bit range) and booleans are
// taken as they are.
std::uint32_t readRequiredInt(const nlohmann::json& object, const std::string& key);

// As readRequiredInt with a signed reading of texts; fallback when the key is
// absent or object is no object.
std::int32_t readInt(const nlohmann::json& object, const std::string& key, std::int32_t fallback);

// The value must be a string when present.
std::string readString(const nlohmann::json& object, const std::string& key, const std::string& fallback);

// A text is false only when it is "false" (any case) or "0".
bool readBool(const nlohmann::json& object, const std::string& key, bool fallback);

// For the forms read strictly, which no older client wrote: a whole JSON
// number (no text, no fraction, no boolean) from lowest to highest.
bool isWholeNumberIn(const nlohmann::json& value, std::int64_t lowest, std::int64_t highest);

} // namespace obx
