#pragma once

// Where the snippet menu's rows are on a Wayland desktop, as the menu lays
// them out at 96 dpi, counted from its top-left corner (the pointer's place).

#include "actions/SnippetMenuEntries.h"
#include "platform/linux/menu/MenuGeometry.h"

#include <pango/pangocairo.h>
#include <string>
#include <vector>

namespace obx::test {

struct MenuRows {
    // The menu's frame around its rows.
    static constexpr int border = 1;

    int width = 0;
    int height = 0;
    std::vector<int> middles; // of each entry's row

    MenuRows(const std::vector<std::string>& contents, const std::vector<std::string>& labels) {
        PangoFontMap* fonts = pango_cairo_font_map_new();
        {
            menu::MenuTexts texts(fonts, menu::defaultDpi);
            const auto entries = snippetMenuEntries(contents, labels);
            const menu::MenuGeometry geometry(texts, entries, menu::defaultDpi);
            width = geometry.width() + 2 * border;
            height = geometry.height() + 2 * border;
            for (std::size_t row = 0; row < entries.size(); ++row) {
                middles.push_back(border + geometry.rowTop(row) + geometry.rowHeight() / 2);
            }
        }
        g_object_unref(fonts);
    }
};

} // namespace obx::test
