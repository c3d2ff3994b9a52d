#include "ChosenDevices.h"

#include "../UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace obx::kernd {

namespace {

std::string idsOf(uint16_t vendor, uint16_t product) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}

} // namespace

ChosenDevices::ChosenDevices(const std::filesystem::path& stateDir) : file_(stateDir / kFileName) {
    chosen_ = DeviceTable::load(file_).models();
    if (chosen_.size() > kMaxChoices)
        throw std::runtime_error(file_.string() + ": more than " + std::to_string(kMaxChoices) + " devices");
}

bool ChosenDevices::contains(uint16_t vendor, uint16_t product) const {
    return std::any_of(chosen_.begin(), chosen_.end(),
                       [&](const DeviceModel& m) { return m.vendor == vendor && m.product == product; });
}

void ChosenDevices::take(uint16_t vendor, uint16_t product) {
    if (contains(vendor, product))
        return;
    if (chosen_.size() == kMaxChoices)
        throw std::runtime_error("at most " + std::to_string(kMaxChoices) + " devices can be chosen");
    std::vector<DeviceModel> next = chosen_;
    next.push_back(DeviceModel{vendor, product, {}});
    save(next);
    chosen_ = std::move(next);
}

void ChosenDevices::release(uint16_t vendor, uint16_t product) {
    std::vector<DeviceModel> next = chosen_;
    if (std::erase_if(next,
                      [&](const DeviceModel& m) { return m.vendor == vendor && m.product == product; }) == 0)
        throw std::runtime_error(idsOf(vendor, product) + " is not chosen");
    save(next);
    chosen_ = std::move(next);
}

void ChosenDevices::save(const std::vector<DeviceModel>& chosen) const {
    std::string text = "# pointing devices chosen to be served besides those of devices.conf\n";
    for (const DeviceModel& m : chosen)
        text += idsOf(m.vendor, m.product) + "\n";
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error); // the unit's StateDirectory= made it
    const std::filesystem::path temporary = file_.string() + ".new";
    const auto fail = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error(file_.string() + ": " + what + ": " + reason);
    };
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd)
        fail("cannot be written");
    if (::write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        ::fsync(fd.get()) != 0)
        fail("cannot be written");
    fd.reset();
    if (::rename(temporary.c_str(), file_.c_str()) != 0)
        fail("cannot be replaced");
}

} // namespace obx::kernd
