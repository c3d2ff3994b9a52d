#include "actions/PlatformServicesImpl.h"
#include "platform/headless/HeadlessPlatformServices.h"

#include <mutex>

namespace obx {

namespace {

struct PlatformServicesHolder {
    std::mutex mutex;
    PlatformServicesFactory factory;
    std::unique_ptr<PlatformServicesImpl> instance;
};

PlatformServicesHolder& holder() {
    static PlatformServicesHolder instance;
    return instance;
}

} // namespace

PlatformServicesImpl& platformServices() {
    auto& h = holder();
    std::lock_guard lock(h.mutex);
    if (!h.instance) {
        // Without a chosen implementation the helper still runs: it logs the
        // input it would produce instead of producing it.
        h.instance = h.factory ? h.factory() : std::make_unique<HeadlessPlatformServices>("");
    }
    return *h.instance;
}

void setPlatformServicesFactory(PlatformServicesFactory factory) {
    auto& h = holder();
    std::lock_guard lock(h.mutex);
    h.factory = std::move(factory);
}

PlatformServicesImpl& installPlatformServices(std::unique_ptr<PlatformServicesImpl> services) {
    auto& h = holder();
    std::lock_guard lock(h.mutex);
    h.instance = std::move(services);
    return *h.instance;
}

void destroyPlatformServices() {
    auto& h = holder();
    std::lock_guard lock(h.mutex);
    h.instance.reset();
}

} // namespace obx
