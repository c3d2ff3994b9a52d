#pragma once

// The snippet menu on an X11 screen: an override-redirect window at the
// pointer that holds the keyboard and the pointer until the user chooses an
// entry or dismisses it (Escape, a click outside). Sized by the screen's
// Xft.dpi; painted and answered as the menu is on every display system.

#include "platform/linux/menu/MenuInteraction.h"
#include "platform/linux/x11/XftMenuCanvas.h"

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
    bool grabInput() const;
    void draw();

    Display* display_;
    const std::vector<SnippetMenuEntry>& entries_;
    Window window_ = None;
    std::unique_ptr<XftMenuCanvas> canvas_;
    std::unique_ptr<menu::MenuTexts> texts_;
    std::unique_ptr<menu::MenuGeometry> geometry_;
    std::unique_ptr<menu::MenuInteraction> interaction_;
};

} // namespace obx::x11
