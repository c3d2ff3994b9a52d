#pragma once

// Readable output: rows of columns aligned under a heading.

#include <ostream>
#include <string>
#include <vector>

namespace obxctl {

class Table {
public:
    explicit Table(std::vector<std::string> heading) : rows_{std::move(heading)} {}

    void add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
    // The last column is not padded, so long texts do not push lines out.
    void print(std::ostream& out) const;

private:
    std::vector<std::vector<std::string>> rows_;
};

} // namespace obxctl
