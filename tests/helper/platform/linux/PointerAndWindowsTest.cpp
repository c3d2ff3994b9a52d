#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Fixture.h"
#include "base/LogCapture.h"
#include "platform/linux/x11/X11DesktopQueries.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <filesystem>
#include <unistd.h>

namespace obx::x11::test {
namespace {

using PointerTest = X11Test;

struct Control {
    int numerator, denominator, threshold;
    bool operator==(const Control&) const = default;
};

Control pointerControl(Display* display) {
    Control control{};
    XGetPointerControl(display, &control.numerator, &control.denominator, &control.threshold);
    return control;
}

class Observer {
public:
    explicit Observer(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
    ~Observer() { XCloseDisplay(display_); }
    Display* display() const { return display_; }

private:
    Display* display_;
};

TEST_F(PointerTest, SettingsReachThePointerControlAndComeBack) {
    Observer x(server.displayName());
    services->applyPointerSettings(50, 0, 3);
    EXPECT_EQ(pointerControl(x.display()), (Control{1, 1, 1}));
    EXPECT_EQ(services->systemPointerSpeed(), 50);
    EXPECT_EQ(services->systemAccelerationRate(), 0);
    EXPECT_EQ(services->systemWheelLines(), 3);

    services->applyPointerSettings(100, 100, 7);
    EXPECT_EQ(pointerControl(x.display()), (Control{8, 1, 4}));
    EXPECT_EQ(services->systemPointerSpeed(), 100);
    EXPECT_EQ(services->systemAccelerationRate(), 10);
    EXPECT_EQ(services->systemWheelLines(), 7);

    services->applyPointerSettings(0, 50, 1);
    const Control slow = pointerControl(x.display());
    EXPECT_EQ(slow.numerator * 5, slow.denominator);
    EXPECT_EQ(slow.threshold, 10);
    EXPECT_EQ(services->systemPointerSpeed(), 5);
    EXPECT_EQ(services->systemAccelerationRate(), 10);
}

TEST_F(PointerTest, ForeignPointerControlCannotTellTheSpeed) {
    Observer x(server.displayName());
    EXPECT_EQ(services->systemWheelLines(), 1);
    services->applyPointerSettings(80, 0, 2);
    XChangePointerControl(x.display(), True, True, 1, 1, 5);
    XSync(x.display(), False);
    EXPECT_EQ(services->systemPointerSpeed(), 50);
    EXPECT_EQ(services->systemAccelerationRate(), 0);
    XChangePointerControl(x.display(), True, False, 3, 2, 0);
    XSync(x.display(), False);
    EXPECT_EQ(services->systemAccelerationRate(), 10);
}

TEST_F(PointerTest, ScrollInvertFollowsTheWheelButtons) {
    Observer x(server.displayName());
    EXPECT_FALSE(services->systemScrollInvert());
    unsigned char map[32];
    const int count = XGetPointerMapping(x.display(), map, sizeof map);
    ASSERT_GE(count, 5);
    std::swap(map[3], map[4]);
    ASSERT_EQ(XSetPointerMapping(x.display(), map, count), MappingSuccess);
    EXPECT_TRUE(services->systemScrollInvert());
}

TEST(LinuxPlatformServicesWithoutDisplay, LogsAndAnswersTheCannotTellValues) {
    LogCapture capture;
    LinuxPlatformServices services(LinuxPlatformServices::Options{"unix:no-such-display", {}, {}});
    services.sendKeystroke(0, 'A', true, false);
    services.typeText("a");
    services.sendMouseButton(1, true);
    services.applyPointerSettings(50, 0, 3);
    services.runSystemAction("closeWindow", {});
    EXPECT_EQ(services.showSnippetMenu({"a"}, {""}), "");
    EXPECT_EQ(services.systemPointerSpeed(), 50);
    EXPECT_EQ(services.systemAccelerationRate(), 0);
    EXPECT_EQ(services.systemWheelLines(), 1);
    EXPECT_FALSE(services.systemScrollInvert());
    EXPECT_TRUE(capture.contains(LogLevel::error, "LinuxPlatformServices::typeText - no X display"));
    EXPECT_TRUE(capture.contains(LogLevel::error, "LinuxPlatformServices::runSystemAction - no X display"));
}

// The probe, a second window of this process, a window of another process
// and an unmapped one, under a fake window manager.
class WindowTest : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        other = std::make_unique<Observer>(server.displayName());
        Display* d = other->display();
        sibling = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
        foreign = XCreateSimpleWindow(d, DefaultRootWindow(d), 60, 0, 50, 50, 0, 0, 0);
        hidden = XCreateSimpleWindow(d, DefaultRootWindow(d), 120, 0, 50, 50, 0, 0, 0);
        XMapWindow(d, sibling);
        XMapWindow(d, foreign);
        XSync(d, False);
        wm = std::make_unique<FakeWindowManager>(server.displayName());
        wm->setPid(probe->window(), getpid());
        wm->setPid(sibling, getpid());
        wm->setPid(foreign, 1);
        wm->setPid(hidden, 1);
        wm->setClients({probe->window(), sibling, foreign, hidden});
        wm->setActive(probe->window());
    }
    long atom(const char* name) { return static_cast<long>(XInternAtom(wm->display(), name, False)); }

    std::unique_ptr<Observer> other;
    Window sibling = None, foreign = None, hidden = None;
    std::unique_ptr<FakeWindowManager> wm;
};

TEST_F(WindowTest, MaximizeAsksForBothMaximizedStates) {
    services->runSystemAction("maximizeWindow", {});
    const auto requests = wm->waitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].type, "_NET_WM_STATE");
    EXPECT_EQ(requests[0].window, probe->window());
    EXPECT_EQ(requests[0].data[0], 1);
    EXPECT_EQ(requests[0].data[1], atom("_NET_WM_STATE_MAXIMIZED_VERT"));
    EXPECT_EQ(requests[0].data[2], atom("_NET_WM_STATE_MAXIMIZED_HORZ"));
    EXPECT_EQ(requests[0].data[3], 1);
}

TEST_F(WindowTest, MinimizeAndCloseTheActiveWindow) {
    services->runSystemAction("minimizeWindow", {});
    services->runSystemAction("closeWindow", {});
    const auto requests = wm->waitForRequests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, "WM_CHANGE_STATE");
    EXPECT_EQ(requests[0].window, probe->window());
    EXPECT_EQ(requests[0].data[0], IconicState);
    EXPECT_EQ(requests[1].type, "_NET_CLOSE_WINDOW");
    EXPECT_EQ(requests[1].window, probe->window());
    EXPECT_EQ(requests[1].data[1], 1);
}

TEST_F(WindowTest, MinimizeAllSparesTheActiveProcessAndHiddenWindows) {
    services->runSystemAction("minimizeAll", {});
    services->runSystemAction("closeWindow", {});
    const auto requests = wm->waitForRequests(2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].type, "WM_CHANGE_STATE");
    EXPECT_EQ(requests[0].window, foreign);
    EXPECT_EQ(requests[1].type, "_NET_CLOSE_WINDOW");
}

TEST_F(WindowTest, UnknownNamesOnlyLogAndCaseCounts) {
    LogCapture capture;
    services->runSystemAction("MinimizeWindow", {});
    services->runSystemAction("", {});
    services->runSystemAction("closeWindow", {});
    const auto requests = wm->waitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].type, "_NET_CLOSE_WINDOW");
    EXPECT_TRUE(
        capture.contains(LogLevel::error, "Could not found handler for system action 'MinimizeWindow'"));
    EXPECT_TRUE(capture.contains(LogLevel::error, "Could not found handler for system action ''"));
}

TEST_F(WindowTest, NoActiveWindowMeansNoRequest) {
    wm->setActive(None);
    services->runSystemAction("closeWindow", {});
    wm->setActive(foreign);
    services->runSystemAction("maximizeWindow", {});
    const auto requests = wm->waitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].window, foreign);
}

TEST_F(WindowTest, ForegroundApplicationIsTheActiveWindowsLocalExecutable) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    X11DesktopQueries queries(server.displayName());
    EXPECT_EQ(queries.foregroundWindow(), probe->window());
    EXPECT_EQ(queries.foregroundApplicationPath(), self);

    // A window of a client on another machine: its pid names no local program.
    wm->setActive(sibling);
    wm->setClientMachine(sibling, "elsewhere.invalid");
    EXPECT_EQ(queries.foregroundWindow(), sibling);
    EXPECT_EQ(queries.foregroundApplicationPath(), "");

    // A local client's pid is taken; one whose executable cannot be read gives nothing.
    wm->setClientMachine(sibling, host);
    wm->setPid(sibling, 0x7FFFFFF0);
    EXPECT_EQ(queries.foregroundApplicationPath(), "");
    wm->setClientMachine(sibling, std::string(host) + ".example");
    wm->setPid(sibling, getpid());
    EXPECT_EQ(queries.foregroundApplicationPath(), self);

    // Without _NET_WM_PID the server names the client's process.
    XDeleteProperty(wm->display(), sibling, XInternAtom(wm->display(), "_NET_WM_PID", False));
    XSync(wm->display(), False);
    EXPECT_EQ(queries.foregroundApplicationPath(), self);

    wm->setActive(None);
    EXPECT_EQ(queries.foregroundWindow(), 0u);
    EXPECT_EQ(queries.foregroundApplicationPath(), "");
}

TEST_F(WindowTest, PressedModifiersFollowTheKeys) {
    X11DesktopQueries queries(server.displayName());
    EXPECT_EQ(queries.pressedModifiers(), 0u);
    services->sendKeystroke(0x05, 0, true, true);
    EXPECT_EQ(queries.pressedModifiers(), 0x05u);
    services->sendKeystroke(0x10 | 0x40, 0, true, true);
    EXPECT_EQ(queries.pressedModifiers(), 0x15u);
    services->sendKeystroke(0x55, 0, false, true);
    EXPECT_EQ(queries.pressedModifiers(), 0u);
}

} // namespace
} // namespace obx::x11::test
