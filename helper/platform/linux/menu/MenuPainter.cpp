#include "platform/linux/menu/MenuPainter.h"

namespace obx::menu {

void paintMenu(MenuCanvas& canvas, const MenuGeometry& geometry, MenuTexts& texts,
               const std::vector<SnippetMenuEntry>& entries, int highlighted) {
    const int width = geometry.width();
    const int padding = geometry.padding();
    const int textWidth = width - 2 * padding;
    canvas.fill(colours::background, 0, 0, width, geometry.height());
    // The title is a heading on a band of its own, never highlighted.
    canvas.fill(colours::headingBand, 0, 0, width, geometry.headingHeight());
    canvas.caption(colours::text, texts.heading.place(snippetMenuTitle, padding,
                                                      padding / 4 + texts.heading.ascent(), textWidth));
    canvas.fill(colours::separator, padding / 2, geometry.separatorY(), width - padding, 1);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int y = geometry.rowTop(i);
        const bool lit = static_cast<int>(i) == highlighted;
        if (lit) {
            canvas.fill(colours::highlight, 0, y, width, geometry.rowHeight());
        }
        canvas.caption(lit ? colours::highlightText : colours::text,
                       texts.entries.place(entries[i].caption, padding,
                                           y + padding / 4 + texts.entries.ascent(), textWidth));
    }
}

} // namespace obx::menu
