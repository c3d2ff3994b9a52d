#include "service/ServiceOptions.h"

#include <algorithm>
#include <string_view>

namespace obx {

namespace {

bool sameOption(std::string_view argument, std::string_view name) {
    if (argument.empty() || (argument.front() != '-' && argument.front() != '/')) {
        return false;
    }
    argument.remove_prefix(1);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::ranges::equal(argument, name, {}, lower);
}

} // namespace

ServiceMode parseServiceMode(const std::vector<std::string>& arguments) {
    bool debug = false;
    for (const auto& argument : arguments) {
        if (sameOption(argument, "gotoweb")) {
            return ServiceMode::goToWeb;
        }
        if (sameOption(argument, "showpopup")) {
            return ServiceMode::showPopup;
        }
        debug = debug || sameOption(argument, "debug");
    }
    return debug ? ServiceMode::console : ServiceMode::service;
}

} // namespace obx
