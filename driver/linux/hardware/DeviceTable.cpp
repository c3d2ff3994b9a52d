#include "DeviceTable.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace obx::kernd {

namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool parseHexId(std::string_view text, uint16_t& value) {
    if (text.empty() || text.size() > 4)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

// Keeps messages to one readable line whatever the file holds.
std::string shown(std::string_view text) {
    std::string result;
    for (const char c : text.substr(0, 40))
        result += c >= 0x20 && c < 0x7F ? c : '?';
    return text.size() > 40 ? result + "..." : result;
}

[[noreturn]] void malformed(const std::string& origin, size_t line, const std::string& what) {
    throw std::runtime_error(origin + ":" + std::to_string(line) + ": " + what);
}

} // namespace

DeviceTable DeviceTable::parse(std::string_view text, const std::string& origin) {
    DeviceTable table;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string_view pair = line.substr(0, line.find_first_of(kBlanks));
        const size_t colon = pair.find(':');
        DeviceModel model;
        if (colon == std::string_view::npos || !parseHexId(pair.substr(0, colon), model.vendor) ||
            !parseHexId(pair.substr(colon + 1), model.product))
            malformed(origin, lineNumber,
                      "expected VENDOR:PRODUCT in hexadecimal (up to four digits each), not \"" +
                          shown(pair) + "\"");
        if (table.models_.size() == kMaxModels)
            malformed(origin, lineNumber, "more than " + std::to_string(kMaxModels) + " models");
        model.label = trimmed(line.substr(pair.size()));
        table.models_.push_back(std::move(model));
    }
    return table;
}

DeviceTable DeviceTable::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (errno == ENOENT)
            return DeviceTable();
        throw std::runtime_error(file.string() + ": cannot be read: " + std::strerror(errno));
    }
    std::string text;
    text.resize(kMaxFileBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        throw std::runtime_error(file.string() + ": cannot be read");
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxFileBytes)
        throw std::runtime_error(file.string() + ": longer than " + std::to_string(kMaxFileBytes) + " bytes");
    return parse(text, file.string());
}

bool DeviceTable::matches(uint16_t vendor, uint16_t product) const {
    return std::any_of(models_.begin(), models_.end(),
                       [&](const DeviceModel& m) { return m.vendor == vendor && m.product == product; });
}

} // namespace obx::kernd
