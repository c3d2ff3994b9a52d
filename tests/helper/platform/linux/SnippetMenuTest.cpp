#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Fixture.h"

#include <X11/Xutil.h>
#include <future>

namespace obx::x11::test {
namespace {

// Drives the menu of one services object from a second one, as a user would.
class SnippetMenuTest : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        user = makeServices();
        display = XOpenDisplay(server.displayName().c_str());
        ASSERT_NE(display, nullptr);
    }
    void TearDown() override {
        if (display) {
            XCloseDisplay(display);
        }
    }

    std::future<std::string> open(std::vector<std::string> contents, std::vector<std::string> labels) {
        return std::async(std::launch::async,
                          [this, contents, labels] { return services->showSnippetMenu(contents, labels); });
    }

    // The menu window once it is on screen and holds the keyboard.
    Window waitForMenu() {
        Window menu = None;
        waitFor([&] {
            menu = findMenu();
            if (menu == None) {
                return false;
            }
            const int grab = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync,
                                           GrabModeAsync, CurrentTime);
            if (grab == GrabSuccess) {
                XUngrabKeyboard(display, CurrentTime);
                XSync(display, False);
                return false;
            }
            return grab == AlreadyGrabbed;
        });
        return menu;
    }

    Window findMenu() {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = None;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i) {
                char* name = nullptr;
                XWindowAttributes attributes;
                if (XFetchName(display, children[i], &name) && name && std::string(name) == "Quellane" &&
                    XGetWindowAttributes(display, children[i], &attributes) &&
                    attributes.map_state == IsViewable && attributes.override_redirect) {
                    found = children[i];
                }
                XFree(name);
            }
            XFree(children);
        }
        return found;
    }

    void key(std::uint16_t virtualKey) {
        user->sendKeystroke(0, virtualKey, true, false);
        user->sendKeystroke(0, virtualKey, false, false);
    }

    void clickAt(Window window, int x, int y) {
        XWarpPointer(display, None, window, 0, 0, 0, 0, x, y);
        XSync(display, False);
        user->sendMouseButton(1, true);
        user->sendMouseButton(1, false);
    }

    static std::string result(std::future<std::string>& future) {
        if (future.wait_for(generousWait) != std::future_status::ready) {
            ADD_FAILURE() << "the menu did not close";
            return "<open>";
        }
        return future.get();
    }

    std::unique_ptr<LinuxPlatformServices> user;
    Display* display = nullptr;
};

TEST_F(SnippetMenuTest, KeyboardChoosesAnEntryAndEmptyContentsTakeNone) {
    auto chosen = open({"", "alpha text", "beta text", "gamma text"}, {"skipped", "", "Beta", ""});
    ASSERT_NE(waitForMenu(), static_cast<Window>(None));
    key(0x28); // Down: alpha
    key(0x28); // Down: beta
    key(0x0D);
    EXPECT_EQ(result(chosen), "beta text");
}

TEST_F(SnippetMenuTest, UpFromNothingReachesTheLastEntry) {
    auto chosen = open({"one", "two", "three"}, {});
    ASSERT_NE(waitForMenu(), static_cast<Window>(None));
    key(0x26);
    key(0x0D);
    EXPECT_EQ(result(chosen), "three");
}

TEST_F(SnippetMenuTest, EscapeDismisses) {
    auto chosen = open({"one", "two"}, {});
    ASSERT_NE(waitForMenu(), static_cast<Window>(None));
    key(0x28);
    key(0x1B);
    EXPECT_EQ(result(chosen), "");
}

TEST_F(SnippetMenuTest, ClickOutsideDismisses) {
    auto chosen = open({"one", "two"}, {});
    const Window menu = waitForMenu();
    ASSERT_NE(menu, static_cast<Window>(None));
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, menu, &attributes));
    clickAt(menu, attributes.width + 40, attributes.height + 40);
    EXPECT_EQ(result(chosen), "");
}

TEST_F(SnippetMenuTest, TheTitleCannotBeChosenButAnEntryCanByMouse) {
    auto chosen = open({"one", "two", "last one"}, {});
    const Window menu = waitForMenu();
    ASSERT_NE(menu, static_cast<Window>(None));
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, menu, &attributes));
    clickAt(menu, 10, 3);
    // Still open: the bottom row is the last entry.
    clickAt(menu, 10, attributes.height - 4);
    EXPECT_EQ(result(chosen), "last one");
}

TEST_F(SnippetMenuTest, AMenuWithoutEntriesStillShowsAndDismisses) {
    auto chosen = open({"", ""}, {"a", "b"});
    ASSERT_NE(waitForMenu(), static_cast<Window>(None));
    key(0x0D);
    EXPECT_EQ(result(chosen), "");
    EXPECT_EQ(findMenu(), static_cast<Window>(None));
}

} // namespace
} // namespace obx::x11::test
