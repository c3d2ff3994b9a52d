#include "platform/linux/gnome/CurrentLayout.h"

#include "base/Log.h"
#include "platform/linux/gnome/GSettingsKeys.h"

#include <algorithm>
#include <stdexcept>

namespace obx::gnome {

namespace {

constexpr const char* inputSourcesSchema = "org.gnome.desktop.input-sources";
const XkbLayoutName usLayout{"us", ""};

bool configured(const InputSources& sources, const std::pair<std::string, std::string>& source) {
    return std::find(sources.begin(), sources.end(), source) != sources.end();
}

XkbLayoutName layoutOf(const std::pair<std::string, std::string>& source) {
    if (source.first != "xkb") {
        return usLayout;
    }
    const auto plus = source.second.find('+');
    if (plus == std::string::npos) {
        return {source.second, ""};
    }
    return {source.second.substr(0, plus), source.second.substr(plus + 1)};
}

std::string joined(const std::vector<std::string>& values) {
    std::string text;
    for (const auto& value : values) {
        text += (text.empty() ? "" : ",") + value;
    }
    return text;
}

} // namespace

XkbLayoutName currentLayout(const InputSources& sources, const InputSources& recentlyUsed) {
    for (const auto& source : recentlyUsed) {
        if (configured(sources, source)) {
            return layoutOf(source);
        }
    }
    return sources.empty() ? usLayout : layoutOf(sources.front());
}

CurrentLayoutKeys::CurrentLayoutKeys() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    if (!context_) {
        throw std::runtime_error("cannot make an xkbcommon context");
    }
}

CurrentLayoutKeys::~CurrentLayoutKeys() {
    keys_.reset();
    xkb_context_unref(context_);
}

XkbLayoutName CurrentLayoutKeys::readName() {
    try {
        const GSettingsKeys settings(inputSourcesSchema);
        options_ = joined(settings.readStrings("xkb-options"));
        return currentLayout(settings.readPairs("sources"), settings.readPairs("mru-sources"));
    } catch (const std::runtime_error& error) {
        if (!settingsMissingLogged_) {
            log(LogLevel::warning, "CurrentLayoutKeys - the input sources cannot be read (", error.what(),
                "): keys are looked up in the US layout");
            settingsMissingLogged_ = true;
        }
        options_.clear();
        return usLayout;
    }
}

const wayland::SessionKeys& CurrentLayoutKeys::keys() {
    const auto options = options_;
    auto name = readName();
    if (keys_ && name == name_ && options == options_) {
        return *keys_;
    }
    const xkb_rule_names names{nullptr, nullptr, name.layout.c_str(), name.variant.c_str(), options_.c_str()};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        keys_.reset();
        throw std::runtime_error("xkbcommon has no keyboard layout \"" + name.layout + "\" variant \"" +
                                 name.variant + "\"");
    }
    keys_ = std::make_unique<wayland::SessionKeys>(keymap);
    xkb_keymap_unref(keymap);
    name_ = std::move(name);
    return *keys_;
}

} // namespace obx::gnome
