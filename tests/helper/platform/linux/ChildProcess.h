#pragma once

// A server program that a test starts and owns: ended (SIGTERM) and reaped
// with the object, so that nothing outlives the test.

#include <string>
#include <sys/types.h>
#include <vector>

namespace obx::x11::test {

class ChildProcess {
public:
    // Every "{report}" inside an argument becomes the number of a pipe that
    // the program writes its first line to (its display number or bus
    // address); report() is that line. environment: NAME=value entries set
    // for the program on top of this process's own. Output is discarded.
    explicit ChildProcess(std::vector<std::string> command, const std::vector<std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Empty when the program did not start or reported nothing in time;
    // failure() says why.
    const std::string& report() const { return report_; }
    const std::string& failure() const { return failure_; }
    bool started() const { return pid_ > 0; }

private:
    void readReport(int fd);

    pid_t pid_ = -1;
    std::string report_;
    std::string failure_;
};

} // namespace obx::x11::test
