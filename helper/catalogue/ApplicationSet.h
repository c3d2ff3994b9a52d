#pragma once

// The programs offered for new profiles, each with its display name and icon,
// kept in program order.

#include <cstddef>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace obx {

struct ApplicationRecord {
    std::string program; // full path of the executable, letter case kept
    std::string name;    // display name
    std::string icon;    // Base64 text of a PNG image; empty while not made
};

class ApplicationSet {
public:
    // Keeps the first record of a program: false when the program is already
    // there (the record is then dropped).
    bool add(ApplicationRecord record);
    std::size_t size() const { return records_.size(); }

    // Gives every record the name that naming returns for its program.
    void rename(const std::function<std::string(const std::string& program)>& naming);

    // Calls visit for every record in program order.
    void forEach(const std::function<void(const ApplicationRecord&)>& visit) const;

    // The array of {"program", "name", "icon"} objects, in program order.
    nlohmann::json toJson() const;

private:
    // Ordered as byte strings: std::string compares through memcmp.
    std::map<std::string, ApplicationRecord> records_;
};

} // namespace obx
