#pragma once

// The query string of a request as the resources read it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace obx {

class QueryParameters {
public:
    // Splits at "&" and "=" and percent-decodes keys and values.
    explicit QueryParameters(std::string_view query);

    // Leading decimal digits (after an optional sign), cut to the width the
    // caller asks for; text without a number gives 0; absent gives fallback.
    std::uint16_t device() const { return static_cast<std::uint16_t>(number("device", 0)); }
    std::uint32_t button() const { return static_cast<std::uint32_t>(number("button", 0)); }
    // Signed and uncut: the caller clamps it before it narrows.
    std::int64_t count() const { return number("count", 10); }
    // Lower-cased letter by letter (A to Z only); empty when absent.
    std::string app() const;

    const std::string* find(const std::string& key) const;

private:
    std::int64_t number(const std::string& key, std::int64_t fallback) const;

    std::map<std::string, std::string> values_;
};

// "%41" → "A", "+" stays "+"; a broken escape is kept as written.
std::string percentDecode(std::string_view text);
// The same, but nothing when an escape is broken: for text that must mean exactly one thing.
std::optional<std::string> strictPercentDecode(std::string_view text);

} // namespace obx
