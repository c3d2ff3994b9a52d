#include "server/CommandServer.h"
#include "settings/LegacyMigration.h"
#include "shell/HelperEntry.h"
#include "shell/ProcessDeviceLayer.h"

int main(int argc, char* argv[]) {
    auto platform = obx::makeShellPlatform();
    obx::ProcessDeviceLayer devices;
    const obx::HelperParts parts{
        *platform,
        [] { obx::legacy::migrate(); },
        [&devices] { return std::make_unique<obx::HelperCore>(devices, obx::commandServerPort()); },
    };
    return obx::runHelper(argc, argv, parts);
}
