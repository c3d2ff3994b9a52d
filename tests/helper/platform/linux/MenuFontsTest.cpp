#include <gtest/gtest.h>
// Xlib after gtest: its None macro would hide a type of gtest of that name.
#include "XvfbServer.h"
#include "platform/linux/x11/MenuFonts.h"
#include "platform/linux/x11/TypingPlan.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <memory>

namespace obx::x11::test {
namespace {

// A character that no font has: it can only be drawn as the missing-glyph box.
constexpr char32_t missing = 0x10FFFD;
const std::string missingText = "\U0010FFFD";

// The text's characters, each as its own UTF-8 text.
std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> result;
    for (char byte : text) {
        if ((static_cast<unsigned char>(byte) & 0xC0) != 0x80) {
            result.emplace_back();
        }
        result.back() += byte;
    }
    return result;
}

class MenuFontsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.displayName().empty()) << server.failure();
        display = XOpenDisplay(server.displayName().c_str());
        ASSERT_NE(display, nullptr);
        fonts = std::make_unique<MenuFonts>(display, DefaultScreen(display), menuTextPoints, 96.0, false);
    }
    void TearDown() override {
        fonts.reset();
        if (display) {
            XCloseDisplay(display);
        }
    }

    // The pixels of one character drawn black on white, as the menu draws it.
    std::vector<unsigned long> render(const std::string& character) {
        const int screen = DefaultScreen(display);
        constexpr unsigned size = 64;
        Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), size, size,
                                      static_cast<unsigned>(DefaultDepth(display, screen)));
        GC gc = XCreateGC(display, pixmap, 0, nullptr);
        XSetForeground(display, gc, WhitePixel(display, screen));
        XFillRectangle(display, pixmap, gc, 0, 0, size, size);
        XftDraw* draw =
            XftDrawCreate(display, pixmap, DefaultVisual(display, screen), DefaultColormap(display, screen));
        XftColor black;
        const XRenderColor value{0, 0, 0, 0xFFFF};
        XftColorAllocValue(display, DefaultVisual(display, screen), DefaultColormap(display, screen), &value,
                           &black);
        fonts->draw(draw, black, 8, 40, character);
        XImage* image = XGetImage(display, pixmap, 0, 0, size, size, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        for (unsigned y = 0; y < size; ++y) {
            for (unsigned x = 0; x < size; ++x) {
                pixels.push_back(XGetPixel(image, static_cast<int>(x), static_cast<int>(y)));
            }
        }
        XDestroyImage(image);
        XftColorFree(display, DefaultVisual(display, screen), DefaultColormap(display, screen), &black);
        XftDrawDestroy(draw);
        XFreeGC(display, gc);
        XFreePixmap(display, pixmap);
        return pixels;
    }

    XvfbServer server;
    Display* display = nullptr;
    std::unique_ptr<MenuFonts> fonts;
};

TEST_F(MenuFontsTest, LatinCyrillicCjkAndArabicCaptionsNeverFallBackToTheMissingGlyphBox) {
    const auto box = render(missingText);
    const auto blank = render(" ");
    ASSERT_NE(box, blank) << "the missing-glyph box itself must show";
    for (const char* caption :
         {"Grüße aus Köln", "Привет, мир", "世界你好，日本語", "مرحبا بالعالم", "Snow ☃ and 😀"}) {
        for (const auto& character : characters(caption)) {
            const auto decoded = decodeUtf8(character);
            ASSERT_TRUE(decoded && decoded->size() == 1) << caption;
            const char32_t c = decoded->front();
            if (c == U' ') {
                continue;
            }
            // Fontconfig: the font the menu draws the character in has it.
            XftFont* font = fonts->fontFor(c);
            FcCharSet* charset = nullptr;
            ASSERT_EQ(FcPatternGetCharSet(font->pattern, FC_CHARSET, 0, &charset), FcResultMatch);
            const auto code = static_cast<std::uint32_t>(c);
            EXPECT_TRUE(FcCharSetHasChar(charset, c)) << caption << ": U+" << std::hex << code;
            // And on screen: neither the box nor nothing.
            const auto drawn = render(character);
            EXPECT_NE(drawn, box) << caption << ": U+" << std::hex << code;
            EXPECT_NE(drawn, blank) << caption << ": U+" << std::hex << code;
        }
    }
}

TEST_F(MenuFontsTest, ACharacterNoFontHasIsReportedAndDrawnAsTheBox) {
    EXPECT_FALSE(fonts->covers(missing));
    EXPECT_TRUE(fonts->covers(U'Ж'));
    // Widths add up over runs in different fonts.
    EXPECT_EQ(fonts->width("Ж世"), fonts->width("Ж") + fonts->width("世"));
}

TEST_F(MenuFontsTest, XftDpiOfTheRootResourcesIsReadAsItIsNow) {
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
