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

bool ChosenDevices::contains(uint16_t vendor, uint16_t product, const std::string& serial) const {
    return std::any_of(chosen_.begin(), chosen_.end(), [&](const DeviceModel& m) {
        return m.vendor == vendor && m.product == product && (m.label.empty() || m.label == serial);
    });
}

void ChosenDevices::take(uint16_t vendor, uint16_t product, const std::string& serial) {
    const bool known = std::any_of(chosen_.begin(), chosen_.end(), [&](const DeviceModel& m) {
        return m.vendor == vendor && m.product == product && m.label == serial;
    });
    if (known)
        return;
    if (chosen_.size() == kMaxChoices)
        throw std::runtime_error("at most " + std::to_string(kMaxChoices) + " devices can be chosen");
    std::vector<DeviceModel> next = chosen_;
    next.push_back(DeviceModel{vendor, product, serial});
    save(next);
    chosen_ = std::move(next);
}

void ChosenDevices::release(uint16_t vendor, uint16_t product, const std::string& serial) {
    std::vector<DeviceModel> next = chosen_;
    if (std::erase_if(next, [&](const DeviceModel& m) {
            return m.vendor == vendor && m.product == product && m.label == serial;
        }) == 0)
        throw std::runtime_error(idsOf(vendor, product) + (serial.empty() ? "" : " " + serial) +
                                 " is not chosen");
    save(next);
    chosen_ = std::move(next);
}

void ChosenDevices::save(const std::vector<DeviceModel>& chosen) const {
    std::string text = "# pointing devices chosen to be served besides those of devices.conf\n";
    for (const DeviceModel& m : chosen)
        text += idsOf(m.vendor, m.product) + (m.label.empty() ? "" : " " + m.label) + "\n";
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
