#pragma once

// The running instance's mark in a user session: a listening Unix socket in
// the abstract namespace, named for the user and the session. Binding the
// name both tests for and claims the mark, so two helpers starting together
// cannot both run; the kernel drops the name when the process ends, however
// it ends. Through the same socket another start asks the instance to quit.

#include "platform/linux/shell/PollLoop.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace obx::linuxos {

// "obxhelper-<uid>-<session>".
std::string instanceSocketName(unsigned uid, const std::string& session);
// The name for this process: its login session ($XDG_SESSION_ID, else the
// one the system knows the process by, else "nosession").
std::string currentInstanceSocketName();

class InstanceListener : public PollSource {
public:
    // Null when another process holds the name. Throws std::system_error for
    // other failures.
    static std::unique_ptr<InstanceListener> claim(const std::string& name);
    ~InstanceListener() override;
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    // True once a process of the same user asked this instance to quit.
    bool quitRequested() const { return quitRequested_; }

    void addDescriptors(std::vector<pollfd>& fds) override;
    void handle(std::span<const pollfd> fds) override;

private:
    explicit InstanceListener(int listening) : listening_(listening) {}
    void accept();
    // Reads the request of a client; false once the connection is done with.
    bool readRequest(int client);

    int listening_;
    // Accepted connections whose request has not come yet.
    std::vector<int> clients_;
    bool quitRequested_ = false;
};

// Asks the instance holding name to quit and waits up to timeout for its
// process to end. Returns at once when no instance holds the name.
void requestQuit(const std::string& name, std::chrono::milliseconds timeout);

} // namespace obx::linuxos
