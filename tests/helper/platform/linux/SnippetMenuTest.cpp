#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Fixture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
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

    XWindowAttributes attributesOf(Window window) {
        XWindowAttributes attributes{};
        EXPECT_TRUE(XGetWindowAttributes(display, window, &attributes));
        return attributes;
    }

    // For each row of the window's image, whether something is drawn on it
    // beside the background; a copy goes to $OBX_SNIPPET_MENU_SCREENSHOT as a
    // PPM when that is set.
    std::vector<bool> inkedRows(Window window) {
        const auto attributes = attributesOf(window);
        XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!image) {
            return {};
        }
        const unsigned long white = WhitePixel(display, DefaultScreen(display));
        std::vector<bool> rows;
        std::string ppm =
            "P6\n" + std::to_string(attributes.width) + " " + std::to_string(attributes.height) + "\n255\n";
        for (int y = 0; y < attributes.height; ++y) {
            bool inked = false;
            for (int x = 0; x < attributes.width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                inked = inked || pixel != white;
                for (int shift : {16, 8, 0}) {
                    ppm += static_cast<char>((pixel >> shift) & 0xFF);
                }
            }
            rows.push_back(inked);
        }
        XDestroyImage(image);
        if (const char* path = std::getenv("OBX_SNIPPET_MENU_SCREENSHOT")) {
            std::ofstream(path, std::ios::binary) << ppm;
        }
        return rows;
    }

    void setResources(const std::string& resources) {
        XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                        static_cast<int>(resources.size()));
        XSync(display, False);
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

TEST_F(SnippetMenuTest, NonLatinCaptionsAreDrawnThePointerHighlightsAndXftDpiSizesTheMenu) {
    const std::vector<std::string> captions{"Grüße aus Köln — 世界 ☃", "Привет, мир", "世界你好，日本語",
                                            "مرحبا بالعالم"};
    auto chosen = open(captions, {});
    Window menu = waitForMenu();
    ASSERT_NE(menu, static_cast<Window>(None));
    const auto normal = attributesOf(menu);
    // Title band, separator and the four entries all leave ink, down to the
    // last entry.
    std::vector<bool> rows;
    const auto drawn = [&] {
        rows = inkedRows(menu);
        return std::count(rows.begin(), rows.end(), true) >= normal.height / 3 &&
               std::find(rows.end() - normal.height / 6, rows.end(), true) != rows.end();
    };
    EXPECT_TRUE(waitFor(drawn));
    // The pointer over the last row highlights it; Return takes it.
    XWarpPointer(display, None, menu, 0, 0, 0, 0, 10, normal.height - 4);
    XSync(display, False);
    waitFor([&] {
        XImage* image = XGetImage(display, menu, 1, normal.height - 3, 1, 1, AllPlanes, ZPixmap);
        const bool highlighted =
            image && XGetPixel(image, 0, 0) != WhitePixel(display, DefaultScreen(display));
        if (image) {
            XDestroyImage(image);
        }
        return highlighted;
    });
    key(0x0D);
    EXPECT_EQ(result(chosen), captions.back());

    setResources("Xft.dpi:\t192\n");
    chosen = open(captions, {});
    menu = waitForMenu();
    ASSERT_NE(menu, static_cast<Window>(None));
    const auto large = attributesOf(menu);
    key(0x1B);
    EXPECT_EQ(result(chosen), "");
    EXPECT_NEAR(static_cast<double>(large.height) / normal.height, 2.0, 0.3);
    EXPECT_NEAR(static_cast<double>(large.width) / normal.width, 2.0, 0.3);
}

} // namespace
} // namespace obx::x11::test
