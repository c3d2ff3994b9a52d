#include "shell/ConfigurationPage.h"

namespace obx {

std::string configurationPageAddress(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/ui/";
}

} // namespace obx
