#include "platform/linux/menu/MenuInteraction.h"

#include "platform/linux/menu/CairoMenuCanvas.h"

#include <gtest/gtest.h>
#include <memory>
#include <pango/pangocairo.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace obx::menu {
namespace {

TEST(MenuHighlight, MovesAndWraps) {
    MenuHighlight down(3);
    EXPECT_EQ(down.index(), -1);
    down.next();
    EXPECT_EQ(down.index(), 0);
    down.next();
    down.next();
    down.next();
    EXPECT_EQ(down.index(), 0);
    down.previous();
    EXPECT_EQ(down.index(), 2);

    MenuHighlight up(3);
    up.previous();
    EXPECT_EQ(up.index(), 2);
    up.first();
    EXPECT_EQ(up.index(), 0);
    up.last();
    EXPECT_EQ(up.index(), 2);
    up.set(3);
    EXPECT_EQ(up.index(), -1);
    up.set(1);
    EXPECT_EQ(up.index(), 1);
}

TEST(MenuHighlight, EmptyMenuHighlightsNothing) {
    MenuHighlight none(0);
    none.next();
    none.previous();
    none.first();
    none.last();
    EXPECT_EQ(none.index(), -1);
}

// A menu of three entries laid out with cairo's fonts at 96 dpi.
class MenuInteractionTest : public ::testing::Test {
protected:
    MenuInteractionTest()
        : fonts(pango_cairo_font_map_new()), texts(fonts, defaultDpi), geometry(texts, entries, defaultDpi),
          interaction(geometry, entries.size()) {}
    ~MenuInteractionTest() override { g_object_unref(fonts); }

    // A point in the middle of the entry's row.
    int rowMiddle(std::size_t row) const { return geometry.rowTop(row) + geometry.rowHeight() / 2; }

    const std::vector<SnippetMenuEntry> entries{{"one", "1"}, {"two", "2"}, {"three", "3"}};
    PangoFontMap* fonts;
    MenuTexts texts;
    MenuGeometry geometry;
    MenuInteraction interaction;
};

TEST_F(MenuInteractionTest, KeysMoveTheHighlightAndEndTheMenu) {
    struct Case {
        std::vector<std::uint32_t> keys;
        bool done;
        std::optional<std::size_t> chosen;
    };
    const Case cases[] = {
        {{XKB_KEY_Down, XKB_KEY_Down, XKB_KEY_Return}, true, 1},
        {{XKB_KEY_Up, XKB_KEY_KP_Enter}, true, 2},
        {{XKB_KEY_End, XKB_KEY_Down, XKB_KEY_space}, true, 0},
        {{XKB_KEY_Home, XKB_KEY_KP_Up, XKB_KEY_KP_Down, XKB_KEY_Return}, true, 0},
        {{XKB_KEY_Return}, true, std::nullopt},
        {{XKB_KEY_Down, XKB_KEY_Escape}, true, std::nullopt},
        {{XKB_KEY_a, XKB_KEY_Tab}, false, std::nullopt},
    };
    for (const auto& each : cases) {
        MenuInteraction menu(geometry, entries.size());
        MenuStep step;
        for (const auto key : each.keys) {
            ASSERT_FALSE(step.done);
            step = menu.key(key);
        }
        EXPECT_EQ(step.done, each.done) << each.keys.size();
        EXPECT_EQ(step.chosen, each.chosen) << each.keys.size();
    }
}

TEST_F(MenuInteractionTest, ThePointerHighlightsAndAClickMadeInTheMenuChooses) {
    EXPECT_TRUE(interaction.motion(5, rowMiddle(1)).redraw);
    EXPECT_EQ(interaction.highlighted(), 1);
    EXPECT_FALSE(interaction.motion(6, rowMiddle(1)).redraw);
    // The title and the separator highlight nothing and choose nothing.
    interaction.motion(5, 2);
    EXPECT_EQ(interaction.highlighted(), -1);
    // The release of the click that opened the menu does not choose.
    EXPECT_FALSE(interaction.button(false, 5, rowMiddle(2)).done);
    EXPECT_FALSE(interaction.button(true, 5, 2).done);
    EXPECT_FALSE(interaction.button(false, 5, 2).done);
    EXPECT_FALSE(interaction.button(true, 5, rowMiddle(2)).done);
    const auto step = interaction.button(false, 5, rowMiddle(2));
    EXPECT_TRUE(step.done);
    EXPECT_EQ(step.chosen, 2u);
}

TEST_F(MenuInteractionTest, APressOutsideDismissesAtEachEdge) {
    const int width = geometry.width();
    const int height = geometry.height();
    for (const auto& [x, y] : {std::pair{-1, 5}, {5, -1}, {width, 5}, {5, height}}) {
        MenuInteraction menu(geometry, entries.size());
        const auto step = menu.button(true, x, y);
        EXPECT_TRUE(step.done) << x << "," << y;
        EXPECT_FALSE(step.chosen);
    }
    EXPECT_FALSE(interaction.button(true, width - 1, height - 1).done);
}

TEST_F(MenuInteractionTest, ThePainterDrawsTheTitleBandAndTheHighlightedRow) {
    const int width = geometry.width();
    const int height = geometry.height();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cairo = cairo_create(surface);
    CairoMenuCanvas canvas(cairo);
    paintMenu(canvas, geometry, texts, entries, 1);
    cairo_surface_flush(surface);
    const auto pixel = [&](int x, int y) {
        const auto* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const std::uint32_t*>(row)[x] & 0xFFFFFF;
    };
    EXPECT_EQ(pixel(width - 1, 1), 0xE8E8E8u);
    EXPECT_EQ(pixel(width / 2, geometry.separatorY()), 0x909090u);
    EXPECT_EQ(pixel(width - 1, rowMiddle(1)), 0x3465A4u);
    EXPECT_EQ(pixel(width - 1, rowMiddle(0)), 0xFFFFFFu);
    // Each caption leaves ink on its row.
    for (std::size_t row = 0; row < entries.size(); ++row) {
        int inked = 0;
        for (int x = 0; x < width; ++x) {
            inked += pixel(x, rowMiddle(row)) != pixel(width - 1, rowMiddle(row));
        }
        EXPECT_GT(inked, 3) << row;
    }
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
}

} // namespace
} // namespace obx::menu
