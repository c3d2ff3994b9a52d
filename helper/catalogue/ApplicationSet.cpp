#include "catalogue/ApplicationSet.h"

namespace obx {

bool ApplicationSet::add(ApplicationRecord record) {
    auto key = record.program;
    return records_.try_emplace(std::move(key), std::move(record)).second;
}

void ApplicationSet::rename(const std::function<std::string(const std::string& program)>& naming) {
    for (auto& [program, record] : records_) {
        record.name = naming(program);
    }
}

void ApplicationSet::forEach(const std::function<void(const ApplicationRecord&)>& visit) const {
    for (const auto& entry : records_) {
        visit(entry.second);
    }
}

nlohmann::json ApplicationSet::toJson() const {
    auto result = nlohmann::json::array();
    for (const auto& [program, record] : records_) {
        result.push_back({{"program", record.program}, {"name", record.name}, {"icon", record.icon}});
    }
    return result;
}

} // namespace obx
