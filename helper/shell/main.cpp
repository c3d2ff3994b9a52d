#include "server/CommandServer.h"
#include "shell/HelperEntry.h"
#include "shell/SettingsDeviceLayer.h"

int main(int argc, char* argv[]) {
    auto platform = obx::makeShellPlatform();
    obx::SettingsDeviceLayer devices;
    const obx::HelperParts parts{
        *platform,
        [] {},
        [&devices] { return std::make_unique<obx::HelperCore>(devices, obx::commandServerPort()); },
    };
    return obx::runHelper(argc, argv, parts);
}
