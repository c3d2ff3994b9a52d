#pragma once

// Names of the sockets in the runtime folder; NN is the trackball's instance number.

#include <cstdint>
#include <cstdio>
#include <string>

namespace obx::kernd {

inline std::string instanceName(const char* prefix, uint32_t instance, const char* suffix = "") {
    char text[64];
    std::snprintf(text, sizeof text, "%s-%02u%s", prefix, instance, suffix);
    return text;
}

inline std::string controlSocketName(uint32_t instance) {
    return instanceName("control", instance);
}
inline std::string virtualInputName(uint32_t instance) {
    return instanceName("virtual", instance, ".in");
}
inline std::string virtualOutputName(uint32_t instance) {
    return instanceName("virtual", instance, ".out");
}

} // namespace obx::kernd
