#pragma once

// Tolerant readers of action fields: settings written by hand or by older
// clients carry numbers as texts and flags as texts. Errors are the JSON
// library's own exceptions.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

namespace obx {

// The key must exist. A text is read as an unsigned number the way stream
// extraction reads one (0 when it holds no number); numbers (floating point
// cut toward zero) and booleans are taken as they are.
std::uint32_t readRequiredInt(const nlohmann::json& object, const std::string& key);

// As readRequiredInt with a signed reading of texts; fallback when the key is
// absent or object is no object.
std::int32_t readInt(const nlohmann::json& object, const std::string& key, std::int32_t fallback);

// The value must be a string when present.
std::string readString(const nlohmann::json& object, const std::string& key, const std::string& fallback);

// A text is false only when it is "false" (any case) or "0".
bool readBool(const nlohmann::json& object, const std::string& key, bool fallback);

} // namespace obx
