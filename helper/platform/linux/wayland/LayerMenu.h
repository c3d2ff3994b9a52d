#pragma once

// The snippet menu on a compositor that offers the layer shell (wlroots
// compositors, KWin). A client is not told where the pointer is, so the menu
// covers each output with a transparent overlay surface: the pointer's entry
// into one tells where it is, and the menu is drawn there, kept inside the
// output. The overlay takes the keyboard; a click outside the menu lands on
// it too and dismisses. A connection of its own per showing; every wait on
// the compositor is bounded, and a compositor that goes away or stops
// answering ends the menu with nothing chosen.

#include "actions/SnippetMenuEntries.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace obx::wayland {

class LayerMenu {
public:
    // displayName: as WAYLAND_DISPLAY (a name or an absolute path); empty for
    // the environment's. timeout bounds each wait on the compositor.
    explicit LayerMenu(std::string displayName = {},
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

    // Blocks until the user chooses an entry (its index) or dismisses the
    // menu (nothing). Throws std::runtime_error when the menu cannot be shown.
    std::optional<std::size_t> run(const std::vector<SnippetMenuEntry>& entries) const;
    // The menu of the snippets as the platform services show it: the chosen
    // content, or the empty text when dismissed or when the menu cannot be
    // shown (logged). Never throws.
    std::string choose(const std::vector<std::string>& contents,
                       const std::vector<std::string>& labels) const;

private:
    std::string displayName_;
    std::chrono::milliseconds timeout_;
};

} // namespace obx::wayland
