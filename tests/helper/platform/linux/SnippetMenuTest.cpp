#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "X11Fixture.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <pango/pangoxft.h>

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

    // The ink of an image: the box around every pixel other than white, and
    // those pixels' values inside it.
    struct Ink {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<unsigned long> pixels;
    };
    Ink inkOf(XImage* image, int top, int bottom) const {
        const unsigned long white = WhitePixel(display, DefaultScreen(display));
        int left = image->width, right = -1, first = bottom, last = -1;
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < image->width; ++x) {
                if (XGetPixel(image, x, y) != white) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    first = std::min(first, y);
                    last = std::max(last, y);
                }
            }
        }
        Ink ink;
        if (right < 0) {
            return ink;
        }
        ink = {left, first, right - left + 1, last - first + 1, {}};
        for (int y = first; y <= last; ++y) {
            for (int x = left; x <= right; ++x) {
                ink.pixels.push_back(XGetPixel(image, x, y));
            }
        }
        return ink;
    }

    // Pango's own rendering of the caption, black on white, in the menu's
    // font and size at 96 dpi.
    Ink pangoRendering(const std::string& caption) {
        const int screen = DefaultScreen(display);
        constexpr unsigned width = 400, height = 60;
        Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), width, height,
                                      static_cast<unsigned>(DefaultDepth(display, screen)));
        GC gc = XCreateGC(display, pixmap, 0, nullptr);
        XSetForeground(display, gc, WhitePixel(display, screen));
        XFillRectangle(display, pixmap, gc, 0, 0, width, height);
        XftDraw* draw =
            XftDrawCreate(display, pixmap, DefaultVisual(display, screen), DefaultColormap(display, screen));
        XftColor black;
        const XRenderColor value{0, 0, 0, 0xFFFF};
        XftColorAllocValue(display, DefaultVisual(display, screen), DefaultColormap(display, screen), &value,
                           &black);
        PangoContext* context = pango_font_map_create_context(pango_xft_get_font_map(display, screen));
        PangoFontDescription* font = pango_font_description_from_string("sans-serif");
        pango_font_description_set_absolute_size(font, 10.0 * 96.0 / 72.0 * PANGO_SCALE);
        PangoLayout* layout = pango_layout_new(context);
        pango_layout_set_font_description(layout, font);
        pango_layout_set_text(layout, caption.c_str(), -1);
        pango_xft_render_layout(draw, &black, layout, 10 * PANGO_SCALE, 10 * PANGO_SCALE);
        XImage* image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        Ink ink = inkOf(image, 0, static_cast<int>(height));
        XDestroyImage(image);
        g_object_unref(layout);
        pango_font_description_free(font);
        g_object_unref(context);
        XftColorFree(display, DefaultVisual(display, screen), DefaultColormap(display, screen), &black);
        XftDrawDestroy(draw);
        XFreeGC(display, gc);
        XFreePixmap(display, pixmap);
        return ink;
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

TEST_F(SnippetMenuTest, RightToLeftCaptionsAreShapedOrderedAndAlignedAsPangoRendersThem) {
    // Joined Arabic letters, right to left: drawn glyph by glyph in their
    // isolated forms and left to right, the caption would not match.
    const std::string caption = "مرحبا بالعالم";
    const Ink reference = pangoRendering(caption);
    ASSERT_GT(reference.width, 20);
    XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, 5, 5);
    XSync(display, False);
    auto chosen = open({caption, "Latin entry that is longer than the Arabic caption"}, {});
    const Window menu = waitForMenu();
    ASSERT_NE(menu, static_cast<Window>(None));
    const auto attributes = attributesOf(menu);
    Ink drawn;
    waitFor([&] {
        XImage* image = XGetImage(display, menu, 0, 0, static_cast<unsigned>(attributes.width),
                                  static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        if (!image) {
            return false;
        }
        // The first entry's ink: the first run of inked rows below the grey
        // separator under the title.
        const unsigned long white = WhitePixel(display, DefaultScreen(display));
        const auto inked = [&](int y) {
            for (int x = 0; x < image->width; ++x) {
                if (XGetPixel(image, x, y) != white) {
                    return true;
                }
            }
            return false;
        };
        int y = 0;
        while (y < image->height && XGetPixel(image, image->width / 2, y) != 0x909090) {
            ++y;
        }
        int top = y + 1;
        while (top < image->height && !inked(top)) {
            ++top;
        }
        int bottom = top;
        while (bottom < image->height && inked(bottom)) {
            ++bottom;
        }
        drawn = inkOf(image, top, bottom);
        XDestroyImage(image);
        return drawn.width >= reference.width;
    });
    key(0x1B);
    EXPECT_EQ(result(chosen), "");

    ASSERT_EQ(drawn.width, reference.width);
    ASSERT_EQ(drawn.height, reference.height);
    // Glyph positions may round a pixel apart at another origin.
    std::size_t differing = 0;
    for (std::size_t i = 0; i < drawn.pixels.size(); ++i) {
        differing += drawn.pixels[i] != reference.pixels[i];
    }
    EXPECT_LT(differing, drawn.pixels.size() / 20) << differing << " of " << drawn.pixels.size();
    // Right-aligned in a menu that the Latin entry makes wider.
    const int leftGap = drawn.left;
    const int rightGap = attributes.width - (drawn.left + drawn.width);
    EXPECT_GT(leftGap, 3 * rightGap) << leftGap << " / " << rightGap;
}

} // namespace
} // namespace obx::x11::test
