#include "server/QueryParameters.h"

#include "actions/LowerCase.h"

#include <cctype>
#include <charconv>

namespace obx {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string percentDecode(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            result.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
            i += 2;
        } else {
            result.push_back(text[i]);
        }
    }
    return result;
}

std::optional<std::string> strictPercentDecode(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            result.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || hexDigit(text[i + 1]) < 0 || hexDigit(text[i + 2]) < 0) {
            return std::nullopt;
        }
        result.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
        i += 2;
    }
    return result;
}

QueryParameters::QueryParameters(std::string_view query) {
    while (!query.empty()) {
        const auto end = query.find('&');
        const auto pair = query.substr(0, end);
        query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
        if (pair.empty()) {
            continue;
        }
        const auto equals = pair.find('=');
        auto key = percentDecode(pair.substr(0, equals));
        auto value =
            equals == std::string_view::npos ? std::string() : percentDecode(pair.substr(equals + 1));
        values_.insert_or_assign(std::move(key), std::move(value));
    }
}

const std::string* QueryParameters::find(const std::string& key) const {
    auto found = values_.find(key);
    return found == values_.end() ? nullptr : &found->second;
}

std::int64_t QueryParameters::number(const std::string& key, std::int64_t fallback) const {
    const auto* text = find(key);
    if (text == nullptr) {
        return fallback;
    }
    std::string_view digits(*text);
    while (!digits.empty() && std::isspace(static_cast<unsigned char>(digits.front()))) {
        digits.remove_prefix(1);
    }
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() ? value : 0;
}

std::string QueryParameters::app() const {
    const auto* text = find("app");
    if (text == nullptr) {
        return {};
    }
    return lowerCase(*text);
}

} // namespace obx
