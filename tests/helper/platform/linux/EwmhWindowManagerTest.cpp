#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "EwmhWindowManager.h"
#include "X11Fixture.h"
#include "platform/linux/x11/XProperties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <unistd.h>

namespace obx::x11::test {
namespace {

// The probe managed by a real window manager and made the active window;
// the window commands must change the state that the manager keeps on it.
class EwmhWindowManagerTest : public X11Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.displayName().empty()) << server.failure();
        observer = std::make_unique<XConnection>(server.displayName());
        ASSERT_TRUE(observer->valid());
        manager = std::make_unique<EwmhWindowManager>(server.displayName());
        ASSERT_TRUE(manager->waitUntilRunning(observer->display())) << "the window manager did not start";
        X11Test::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(waitFor([&] { return managerState(probe->window()) == NormalState; }));
        activate(probe->window());
    }

    // WM_STATE as the manager sets it; -1 while it has set none.
    long managerState(Window window) const {
        const Atom wmState = observer->atom("WM_STATE");
        const auto state = readListProperty(observer->display(), window, wmState, wmState);
        return state.empty() ? -1 : static_cast<long>(state.front());
    }

    bool hasState(Window window, const char* name) const {
        const auto states =
            readListProperty(observer->display(), window, observer->atom("_NET_WM_STATE"), XA_ATOM);
        return std::ranges::find(states, observer->atom(name)) != states.end();
    }

    bool maximized(Window window) const {
        return hasState(window, "_NET_WM_STATE_MAXIMIZED_VERT") &&
               hasState(window, "_NET_WM_STATE_MAXIMIZED_HORZ");
    }

    // Asks as a pager does, which the manager grants without any
    // focus-stealing rule, and waits until it took effect.
    void activate(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = observer->atom("_NET_ACTIVE_WINDOW");
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(observer->display(), observer->root(), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XSync(observer->display(), False);
        ASSERT_TRUE(waitFor([&] { return activeWindow(observer->display()) == window; }));
    }

    void setPid(Window window, long pid) const {
        XChangeProperty(observer->display(), window, observer->atom("_NET_WM_PID"), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
        XSync(observer->display(), False);
    }

    // A window of another client, mapped and managed.
    Window mapOtherWindow(long pid) {
        if (!other) {
            other = std::make_unique<XConnection>(server.displayName());
        }
        const Window window = XCreateSimpleWindow(other->display(), other->root(), 0, 0, 80, 60, 0, 0, 0);
        XSync(other->display(), False);
        setPid(window, pid);
        XMapWindow(other->display(), window);
        XSync(other->display(), False);
        EXPECT_TRUE(waitFor([&] { return managerState(window) == NormalState; }));
        return window;
    }

    std::unique_ptr<XConnection> observer;
    std::unique_ptr<EwmhWindowManager> manager;
    std::unique_ptr<XConnection> other;
};

TEST_F(EwmhWindowManagerTest, MaximizeMaximizesTheActiveWindow) {
    ASSERT_FALSE(maximized(probe->window()));
    services->runSystemAction("maximizeWindow", {});
    EXPECT_TRUE(waitFor([&] { return maximized(probe->window()); }));
    EXPECT_TRUE(waitFor([&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(observer->display(), probe->window(), &attributes);
        return attributes.width > 900;
    }));
}

TEST_F(EwmhWindowManagerTest, MinimizeIconifiesTheActiveWindow) {
    services->runSystemAction("minimizeWindow", {});
    EXPECT_TRUE(waitFor([&] {
        return managerState(probe->window()) == IconicState &&
               hasState(probe->window(), "_NET_WM_STATE_HIDDEN");
    }));
}

TEST_F(EwmhWindowManagerTest, CloseAsksTheActiveWindowToClose) {
    ASSERT_FALSE(probe->closeRequested());
    services->runSystemAction("closeWindow", {});
    EXPECT_TRUE(waitFor([&] { return probe->closeRequested(); }));
}

TEST_F(EwmhWindowManagerTest, MinimizeAllIconifiesOnlyOtherProcessesWindows) {
    setPid(probe->window(), getpid());
    const Window sibling = mapOtherWindow(getpid());
    const Window foreign = mapOtherWindow(1);
    ASSERT_FALSE(HasFailure());
    // Mapping the others moved the focus to them.
    activate(probe->window());

    services->runSystemAction("minimizeAll", {});
    EXPECT_TRUE(waitFor([&] { return managerState(foreign) == IconicState; }));
    // The manager carries out requests in order: once this one is done, any
    // minimize request for the sibling would have been too.
    services->runSystemAction("maximizeWindow", {});
    ASSERT_TRUE(waitFor([&] { return maximized(probe->window()); }));
    EXPECT_EQ(managerState(sibling), NormalState);
    EXPECT_EQ(managerState(probe->window()), NormalState);
    EXPECT_EQ(activeWindow(observer->display()), probe->window());
}

} // namespace
} // namespace obx::x11::test
