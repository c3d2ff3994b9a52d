#include "platform/CommandLine.h"
#include "server/CommandServer.h"
#include "settings/LegacyMigration.h"
#include "shell/HelperEntry.h"
#include "shell/ProcessDeviceLayer.h"

#include <vector>

int main(int argc, char* argv[]) {
    auto platform = obx::makeShellPlatform();
    obx::ProcessDeviceLayer devices;
    const obx::HelperParts parts{
        *platform,
        [] { obx::legacy::migrate(); },
        [&devices] { return std::make_unique<obx::HelperCore>(devices, obx::commandServerPort()); },
    };
    const auto arguments = obx::programArguments(argc, argv);
    std::vector<const char*> pointers;
    for (const auto& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    return obx::runHelper(static_cast<int>(pointers.size()), pointers.data(), parts);
}
