#pragma once

// Before the X headers, whose macros (None) clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include "X11Probe.h"
// clang-format on
#include "XvfbServer.h"
#include "platform/linux/actions/LinuxPlatformServices.h"

#include <memory>

namespace obx::x11::test {

// Each test gets its own Xvfb with a focused probe window under the pointer,
// and the services on that display.
class X11Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.displayName().empty()) << server.failure();
        probe = std::make_unique<ProbeWindow>(server.displayName());
        services = makeServices();
    }

    std::unique_ptr<LinuxPlatformServices> makeServices(SessionLocker locker = {}) const {
        LinuxPlatformServices::Options options;
        options.displayName = server.displayName();
        options.locker = std::move(locker);
        return std::make_unique<LinuxPlatformServices>(std::move(options));
    }

    XvfbServer server;
    std::unique_ptr<ProbeWindow> probe;
    std::unique_ptr<LinuxPlatformServices> services;
};

} // namespace obx::x11::test
