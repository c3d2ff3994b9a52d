#pragma once

// The bodies of the requests that change one profile, read strictly: a body
// that does not fit is refused whole, with what is wrong in words, before
// anything changes.

#include "settings/DeviceConfig.h"

#include <nlohmann/json.hpp>
#include <string>

namespace obx {

inline constexpr std::size_t snippetContentLimit = 64 * 1024; // bytes
inline constexpr std::size_t snippetLabelLimit = 1024;        // bytes
inline constexpr std::size_t profileNameLimit = 128;          // characters

// What a new profile starts from: the plain clicks of the global profile
// ("default"), or the whole global profile ("global").
enum class ProfileOrigin { defaults, global };

// {"snippets":[{"content":"…","label":"…"},…]}: at most ten entries, the
// slots past them empty; "label" may be left out.
SnippetSlots snippetSlotsFromRequest(const nlohmann::json& body);

// {"name":"…"}: 1 to 128 characters, none of them a control character.
std::string profileNameFromRequest(const nlohmann::json& body);

// The body's "from": absent or "default", or "global".
ProfileOrigin profileOriginFromRequest(const nlohmann::json& body);

} // namespace obx
