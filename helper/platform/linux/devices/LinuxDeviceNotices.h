#pragma once

// Trackballs served by obxkernd: the control-NN sockets of its runtime
// folder, followed with inotify. A folder that does not exist yet is waited
// for, so that a helper started first finds the trackballs when the daemon
// starts; notices lost to a full queue are made up by a rescan. A socket
// that changes hands (a switch of user at the seat) departs, and arrives again
// when this user may connect to it. SIGHUP asks for a settings reload.

#include "devices/DeviceLayerPlatform.h"
#include "platform/linux/devices/DaemonSockets.h"

#include <filesystem>
#include <set>
#include <string>

namespace obx {

class LinuxDeviceNotices final : public IDeviceNotices {
public:
    explicit LinuxDeviceNotices(std::filesystem::path folder);
    ~LinuxDeviceNotices() override;
    LinuxDeviceNotices(const LinuxDeviceNotices&) = delete;
    LinuxDeviceNotices& operator=(const LinuxDeviceNotices&) = delete;

    // Sorted by instance number.
    std::vector<std::string> presentDevices() override;
    std::unique_ptr<IDriverChannel> channelFor(const std::string& path) override;
    void startNotices(MsgWFMOHandler& worker) override;
    void stopNotices() override;
    // The daemon makes its runtime folder as it starts and the system removes
    // it as it stops: without the folder no driver answers.
    std::string missingDriver() override;

private:
    std::vector<std::string> controlNames() const;
    void onFolderEvents();
    void onHangup();
    // Starts watching the folder itself, when it exists, and announces what
    // it already holds.
    void watchFolder();
    // After notices were lost: what the folder holds against what was
    // announced.
    void rescan();
    void arrived(const std::string& name);
    void departed(const std::string& name);
    // The socket's owner changed.
    void changedHands(const std::string& name);

    std::filesystem::path folder_;
    MsgWFMOHandler* worker_ = nullptr;
    int inotify_ = -1;
    int parentWatch_ = -1;
    int folderWatch_ = -1;
    int hangup_ = -1;
    // Announced and not departed, so that a socket seen both by the scan and
    // by a notice arrives once.
    std::set<std::string> known_;
};

} // namespace obx
