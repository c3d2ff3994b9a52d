#pragma once

// The running instance's mark in a user session: a listening Unix socket
// named for the session in the user's private runtime folder, claimed under
// a lock on a file beside it. The lock both tests for and claims the mark, so
// two helpers starting together cannot both run, and the system drops it when
// the process ends, however it ends. No other user can create or reach
// anything in that folder, so none can take the mark first or flood it.
// Through the socket another start of the same user asks the instance to quit.

#include "platform/linux/shell/PollLoop.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace obx::linuxos {

// $XDG_RUNTIME_DIR when it is a folder of this user that nobody else may
// enter; else /tmp/obxhelper-<uid>, made such a folder. Throws
// std::system_error when neither can be had (another user holds the
// fallback's name).
std::filesystem::path privateRuntimeFolder();
// "obxhelper-<session>" in folder.
std::filesystem::path instanceSocketPath(const std::filesystem::path& folder, const std::string& session);
// The path for this process: its login session ($XDG_SESSION_ID, else the
// one the system knows the process by, else "nosession").
std::filesystem::path currentInstanceSocketPath();

struct InstanceLimits {
    // Connections waiting for their request; a new one displaces the oldest.
    std::size_t clients = 8;
    // A connection that sends nothing for this long is closed.
    std::chrono::milliseconds requestTimeout{2000};
    // After running out of descriptors, accepting waits this long instead of
    // polling a listener that stays ready.
    std::chrono::milliseconds acceptPause{100};
};

class InstanceListener : public PollSource {
public:
    // Null when another process holds the mark. Throws std::system_error for
    // other failures.
    static std::unique_ptr<InstanceListener> claim(const std::filesystem::path& socket,
                                                   InstanceLimits limits = {});
    // The process id that the holder of the mark wrote into its lock file;
    // 0 when there is none to read.
    static pid_t holder(const std::filesystem::path& socket);
    ~InstanceListener() override;
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    // True once a process of the same user asked this instance to quit.
    bool quitRequested() const { return quitRequested_; }
    std::size_t openClients() const { return clients_.size(); }

    void addDescriptors(std::vector<pollfd>& fds) override;
    int timeoutMs() override;
    void handle(std::span<const pollfd> fds) override;

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        int fd;
        Clock::time_point deadline;
    };

    InstanceListener(int lock, int listening, std::filesystem::path socket, InstanceLimits limits)
        : lock_(lock), listening_(listening), socket_(std::move(socket)), limits_(limits) {}
    void acceptPending(Clock::time_point now);
    void closeOldestClient();
    void closeClient(int fd);
    // Reads the request of a client; false once the connection is done with.
    bool readRequest(int client);

    int lock_;
    int listening_;
    std::filesystem::path socket_;
    InstanceLimits limits_;
    // Accepted connections whose request has not come yet, oldest first.
    std::vector<Client> clients_;
    Clock::time_point acceptPausedUntil_{};
    bool quitRequested_ = false;
};

// Asks the instance holding the socket to quit and waits up to timeout for
// its process to end. Returns at once when no instance of this user holds it.
void requestQuit(const std::filesystem::path& socket, std::chrono::milliseconds timeout);

} // namespace obx::linuxos
