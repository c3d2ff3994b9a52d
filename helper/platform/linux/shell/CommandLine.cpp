#include "platform/CommandLine.h"

namespace obx {

std::vector<std::string> programArguments(int argc, const char* const argv[]) {
    return {argv, argv + argc};
}

} // namespace obx
