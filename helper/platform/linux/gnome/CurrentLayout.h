#pragma once

// The keyboard layout GNOME types with: the user's current input source, as
// the Shell keeps it in org.gnome.desktop.input-sources. Mutter finds the key
// of a keysym in this layout only, so the helper asks it first which keysyms
// it has.

#include "platform/linux/wayland/SessionKeys.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace obx::gnome {

// Input sources as the settings list them: ("xkb", "fr+azerty"), ("ibus", ...).
using InputSources = std::vector<std::pair<std::string, std::string>>;

struct XkbLayoutName {
    std::string layout;
    std::string variant;
    bool operator==(const XkbLayoutName&) const = default;
};

// The most recently used source that is still configured (the Shell keeps
// them in mru-sources, the current one first), else the first configured one.
// An input method's source types with the US layout, as the Shell gives it;
// without any source the layout is US too.
XkbLayoutName currentLayout(const InputSources& sources, const InputSources& recentlyUsed);

class CurrentLayoutKeys {
public:
    CurrentLayoutKeys();
    ~CurrentLayoutKeys();
    CurrentLayoutKeys(const CurrentLayoutKeys&) = delete;
    CurrentLayoutKeys& operator=(const CurrentLayoutKeys&) = delete;

    // The keys of the layout current now (the settings are read each time, the
    // keymap made again only when the layout changed). Throws
    // std::runtime_error when xkbcommon has no such layout.
    const wayland::SessionKeys& keys();
    const XkbLayoutName& name() const { return name_; }

private:
    XkbLayoutName readName();

    struct xkb_context* context_;
    XkbLayoutName name_;
    std::string options_;
    std::unique_ptr<wayland::SessionKeys> keys_;
    bool settingsMissingLogged_ = false;
};

} // namespace obx::gnome
