#pragma once

// The part of the helper that does the real work while the session is on the
// console: the device manager and the command server. It exists as a whole
// or not at all.

#include <cstdint>
#include <memory>

namespace obx {

class CommandServer;
class IObxDeviceManager;

class IHelperCore {
public:
    virtual ~IHelperCore() = default;
    virtual IObxDeviceManager& deviceManager() = 0;
};

// How the core reaches the process's one device manager.
class DeviceLayer {
public:
    virtual ~DeviceLayer() = default;
    // The manager, made on first use.
    virtual IObxDeviceManager& manager() = 0;
    // Starts the manager's worker and waits until it has finished starting;
    // throws "Error initializing device manager" when it did not start.
    virtual void start() = 0;
    // Ends the worker and releases the manager; the next manager() makes a
    // new one.
    virtual void destroy() = 0;
};

class HelperCore : public IHelperCore {
public:
    // Throws what the start of the manager or the server throws; the manager
    // is then released.
    HelperCore(DeviceLayer& devices, std::uint16_t port);
    ~HelperCore() override;
    HelperCore(const HelperCore&) = delete;
    HelperCore& operator=(const HelperCore&) = delete;

    IObxDeviceManager& deviceManager() override;

private:
    DeviceLayer& devices_;
    std::unique_ptr<CommandServer> server_;
};

} // namespace obx
