#include "Hardware.h"

#include <fstream>

namespace obx::kernd {

std::vector<uint8_t> Hardware::reportDescriptor(const HidrawDevice& device, size_t maxBytes) const {
    std::ifstream file(device.hidSyspath + "/report_descriptor", std::ios::binary);
    std::vector<uint8_t> descriptor(maxBytes);
    file.read(reinterpret_cast<char*>(descriptor.data()), static_cast<std::streamsize>(maxBytes));
    descriptor.resize(static_cast<size_t>(file.gcount()));
    return descriptor;
}

} // namespace obx::kernd
