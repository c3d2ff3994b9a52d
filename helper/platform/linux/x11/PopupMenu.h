#pragma once

// The snippet menu on screen: an override-redirect window at the pointer that
// holds the keyboard and the pointer until the user chooses an entry or
// dismisses it (Escape, a click outside). Captions are shaped and ordered by
// Pango and drawn with Xft, sized by the screen's Xft.dpi.

#include "platform/linux/x11/MenuText.h"
#include "platform/linux/x11/SnippetMenuModel.h"

#include <X11/Xlib.h>
#include <memory>
#include <optional>

namespace obx::x11 {

class PopupMenu {
public:
    PopupMenu(Display* display, const std::vector<SnippetMenuEntry>& entries);
    ~PopupMenu();
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    // Blocks until the user decides: the chosen entry's index, or nothing.
    std::optional<std::size_t> run();

private:
    struct Outcome {
        bool done = false;
        std::optional<std::size_t> chosen;
    };

    struct Colours;

    bool grabInput() const;
    void draw() const;
    int entryAt(int x, int y) const;
    Outcome onKey(XKeyEvent& event);
    Outcome onButton(const XButtonEvent& event);

    Display* display_;
    const std::vector<SnippetMenuEntry>& entries_;
    MenuHighlight highlight_;
    std::unique_ptr<MenuText> text_;
    std::unique_ptr<MenuText> heading_;
    Window window_ = None;
    XftDraw* draw_ = nullptr;
    std::unique_ptr<Colours> colours_;
    int padding_ = 0;
    int separatorHeight_ = 0;
    int headingHeight_ = 0;
    int rowHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool pressedInside_ = false;
};

} // namespace obx::x11
