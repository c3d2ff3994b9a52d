#pragma once

// The snippet menu on screen: an override-redirect window at the pointer that
// holds the keyboard and the pointer until the user chooses an entry or
// dismisses it (Escape, a click outside).

#include "platform/linux/x11/SnippetMenuModel.h"

#include <X11/Xlib.h>
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

    bool grabInput() const;
    void draw() const;
    void drawText(const std::string& text, int row, int y) const;
    int entryAt(int x, int y) const;
    Outcome onKey(XKeyEvent& event);
    Outcome onButton(const XButtonEvent& event);

    Display* display_;
    const std::vector<SnippetMenuEntry>& entries_;
    MenuHighlight highlight_;
    XFontStruct* font_ = nullptr;
    Window window_ = None;
    GC gc_ = nullptr;
    int rowHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool pressedInside_ = false;
};

} // namespace obx::x11
