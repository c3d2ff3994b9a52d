#include "platform/headless/HeadlessPlatformServices.h"

#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"

namespace obx {

namespace {
const char* upDown(bool down) {
    return down ? "down" : "up";
}
} // namespace

void HeadlessPlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                             bool modifiersOnly) {
    log(LogLevel::info, "[headless] keystroke ", upDown(down), ": modifiers 0x", Hex{modifiers}, ", key 0x",
        Hex{keyCode}, modifiersOnly ? ", modifiers only" : "");
}

void HeadlessPlatformServices::typeText(const std::string& text) {
    log(LogLevel::info, "[headless] type text: ", text);
}

void HeadlessPlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    log(LogLevel::info, "[headless] mouse button 0x", Hex{buttonMask}, " ", upDown(down));
}

void HeadlessPlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    log(LogLevel::info, "[headless] pointer settings: speed ", speed, ", acceleration rate ",
        accelerationRate, ", wheel lines ", wheelLines);
}

void HeadlessPlatformServices::openItem(const std::string& path, const std::vector<std::string>&, int type) {
    log(LogLevel::info, "[headless] open item: ", path, ", type ", type);
}

void HeadlessPlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    log(LogLevel::info, "[headless] system action: ", action);
}

nlohmann::json HeadlessPlatformServices::listApplications(int maxCount,
                                                          const std::set<std::string>& excludedNames) {
    // The catalogue of the system the helper runs on; without a desktop it
    // offers nothing.
    return programCatalogue().listApplications(maxCount, excludedNames);
}

std::string HeadlessPlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                      const std::vector<std::string>&) {
    log(LogLevel::info, "[headless] snippet menu with ", contents.size(), " slots, nothing chosen");
    return {};
}

void HeadlessPlatformServices::scrollByKeys(std::uint32_t direction, int lines) {
    log(LogLevel::info, "[headless] scroll by keys: direction ", direction, ", lines ", lines);
}

} // namespace obx
