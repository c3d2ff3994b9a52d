#include "Table.h"

#include <algorithm>

namespace obxctl {

namespace {

// Columns line up by characters, not bytes: UTF-8 continuation bytes take no
// column of their own.
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

void Table::print(std::ostream& out) const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], columns(row[i]));
        }
    }
    for (const auto& row : rows_) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            out << row[i];
            if (i + 1 < row.size()) {
                out << std::string(widths[i] - columns(row[i]) + 2, ' ');
            }
        }
        out << '\n';
    }
}

} // namespace obxctl
