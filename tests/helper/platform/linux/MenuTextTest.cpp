#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "XvfbServer.h"
#include "platform/linux/menu/MenuText.h"
#include "platform/linux/x11/ScreenDpi.h"
#include "platform/linux/x11/XftMenuCanvas.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <memory>
#include <pango/pangoxft.h>

namespace obx::x11::test {
namespace {

// A character that no font has: it can only be drawn as a box.
const std::string missingText = "\U0010FFFD";

class MenuTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.displayName().empty()) << server.failure();
        display = XOpenDisplay(server.displayName().c_str());
        ASSERT_NE(display, nullptr);
        text = std::make_unique<menu::MenuText>(pango_xft_get_font_map(display, DefaultScreen(display)),
                                                menu::menuTextPoints, 96.0, false);
    }
    void TearDown() override {
        text.reset();
        if (display) {
            XCloseDisplay(display);
        }
    }

    // Pixels other than the white background when the caption is drawn black,
    // as the menu draws it.
    int inkedPixels(const std::string& caption) {
        const int screen = DefaultScreen(display);
        constexpr unsigned width = 240, height = 48;
        Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), width, height,
                                      static_cast<unsigned>(DefaultDepth(display, screen)));
        GC gc = XCreateGC(display, pixmap, 0, nullptr);
        XSetForeground(display, gc, WhitePixel(display, screen));
        XFillRectangle(display, pixmap, gc, 0, 0, width, height);
        {
            XftMenuCanvas canvas(display, screen, pixmap);
            canvas.caption(menu::colours::text, text->place(caption, 8, 32, static_cast<int>(width) - 16));
        }
        XImage* image = XGetImage(display, pixmap, 0, 0, width, height, AllPlanes, ZPixmap);
        int inked = 0;
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                inked +=
                    XGetPixel(image, static_cast<int>(x), static_cast<int>(y)) != WhitePixel(display, screen);
            }
        }
        XDestroyImage(image);
        XFreeGC(display, gc);
        XFreePixmap(display, pixmap);
        return inked;
    }

    XvfbServer server;
    Display* display = nullptr;
    std::unique_ptr<menu::MenuText> text;
};

TEST_F(MenuTextTest, EveryScriptOfTheCaptionsHasAFontAndLeavesInk) {
    for (const char* caption :
         {"Grüße aus Köln", "Привет, мир", "世界你好，日本語", "مرحبا بالعالم", "Snow ☃ and 😀"}) {
        EXPECT_EQ(text->missingGlyphs(caption), 0) << caption;
        EXPECT_GT(inkedPixels(caption), 20) << caption;
        EXPECT_GT(text->width(caption), 0) << caption;
    }
    EXPECT_EQ(text->missingGlyphs(missingText), 1);
    EXPECT_EQ(text->missingGlyphs("a" + missingText + "b" + missingText), 2);
    // Text that is no UTF-8 is shown byte by byte, not dropped.
    EXPECT_GT(inkedPixels("caf\xE9"), inkedPixels("caf"));
}

TEST_F(MenuTextTest, XftDpiOfTheRootResourcesIsReadAsItIsNow) {
    EXPECT_EQ(screenDpi(display), 96.0);
    const std::string resources = "Xft.antialias:\t1\nXft.dpi:\t144\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources.data()),
                    static_cast<int>(resources.size()));
    XSync(display, False);
    EXPECT_EQ(screenDpi(display), 144.0);
    const std::string nonsense = "Xft.dpi:\t-3\n";
    XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(nonsense.data()),
                    static_cast<int>(nonsense.size()));
    XSync(display, False);
    EXPECT_EQ(screenDpi(display), 96.0);
}

} // namespace
} // namespace obx::x11::test
