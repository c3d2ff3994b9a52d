#include "settings/LegacyCommands.h"

#include "actions/JsonReaders.h"
#include "actions/LowerCase.h"
#include "actions/Modifiers.h"
#include "base/Log.h"
#include "settings/SettingsPaths.h"

#include <array>
#include <filesystem>
#include <stdexcept>

namespace obx {

using nlohmann::json;

KeystrokeMacroIndex::KeystrokeMacroIndex(const json& macros) {
    std::size_t added = 0;
    try {
        for (auto& [name, macro] : macros.get_ref<const json::object_t&>()) {
            if (macro.at("command").get<std::string>() != "keystroke") {
                continue;
            }
            log(LogLevel::debug, name, " : ", macro);
            const auto keyCode = static_cast<int>(readRequiredInt(macro, "keyCode"));
            const auto modifiers = modifiersFromString(macro.at("modifiers").get<std::string>());
            entries_.emplace(keyCode, std::make_pair(modifiers, name));
            ++added;
        }
    } catch (const std::exception& error) {
        log(LogLevel::debug, "Exception: ", error.what(), "\n");
    }
    log(LogLevel::debug, "Total keystroke commands: ", added, ", multimap size: ", entries_.size());
}

std::optional<std::string> KeystrokeMacroIndex::find(int keyCode, std::uint32_t modifiers) const {
    auto [first, last] = entries_.equal_range(keyCode);
    for (auto entry = first; entry != last; ++entry) {
        if (entry->second.first == modifiers) {
            return entry->second.second;
        }
    }
    return std::nullopt;
}

namespace {

enum class LegacyKind {
    useGlobal,
    none,
    keystroke,
    multiClick,
    singleClick,
    drag,
    sequence,
    snippet,
    open,
    lockWorkstation,
    showDesktop,
    minimizeWindow,
    maximizeWindow,
    closeWindow,
    minimizeAll,
};

constexpr int showDesktopModifiers = 64;
constexpr int showDesktopKey = 68;

LegacyKind kindOf(const LegacyAction& action) {
    switch (action.command) {
    case 4:
        return LegacyKind::useGlobal;
    case 5:
        return LegacyKind::none;
    case 32:
        return action.modifiers == showDesktopModifiers && action.argument == showDesktopKey
                   ? LegacyKind::showDesktop
                   : LegacyKind::keystroke;
    case 40:
    case 50:
    case 51:
        return LegacyKind::multiClick;
    case 48:
        return action.repeat < 2 ? LegacyKind::singleClick : LegacyKind::multiClick;
    case 49:
        return LegacyKind::singleClick;
    case 52:
        return LegacyKind::drag;
    case 60:
        return LegacyKind::sequence;
    case 61:
        return LegacyKind::snippet;
    case 64:
        return LegacyKind::open;
    case 112:
        return LegacyKind::lockWorkstation;
    case 196:
        return LegacyKind::showDesktop;
    case 197:
        return LegacyKind::minimizeWindow;
    case 198:
        return LegacyKind::maximizeWindow;
    case 199:
        return LegacyKind::closeWindow;
    case 201:
        return LegacyKind::minimizeAll;
    default:
        throw std::runtime_error("Unknown command type");
    }
}

const json noAction = {{"command", "noAction"}};

json macroCommand(const std::string& macro) {
    return {{"command", macro}};
}

// Keys that the legacy settings stored as signed bytes and that have macros
// of their own.
struct FixedKeystroke {
    int argument;
    int modifiers;
    const char* macro;
};
constexpr FixedKeystroke fixedKeystrokes[] = {
    {70, 64, "system_showSystemSearch"}, {-77, 0, "media_playPause"}, {-78, 0, "media_stop"},
    {-79, 0, "media_prevTrack"},         {-80, 0, "media_nextTrack"}, {-81, 0, "media_volumeUp"},
    {-82, 0, "media_volumeDown"},        {-83, 0, "media_mute"},      {-87, 0, "browser_stop"},
    {-88, 0, "browser_refresh"},         {-89, 0, "browser_forward"}, {-90, 0, "browser_back"},
};

json keystroke(const LegacyAction& action, const KeystrokeMacroIndex& index) {
    const int signedKey = static_cast<std::int8_t>(action.argument);
    for (auto& fixed : fixedKeystrokes) {
        if (fixed.argument == signedKey && fixed.modifiers == action.modifiers) {
            return macroCommand(fixed.macro);
        }
    }
    if (auto macro = index.find(action.argument, static_cast<std::uint32_t>(action.modifiers))) {
        return macroCommand(*macro);
    }
    return noAction;
}

// A click macro with the legacy modifiers; a name the legacy conversion has
// no macro for gives no action rather than one that cannot be built.
json mouseCommand(const char* macro, const LegacyAction& action) {
    if (macro == nullptr) {
        return noAction;
    }
    return {{"command", macro},
            {"params", {{"modifiers", modifiersToString(static_cast<std::uint32_t>(action.modifiers))}}}};
}

// Names by mouse button number 1 to 5; nullptr outside.
template <std::size_t count>
const char* byButton(const std::array<const char*, count>& names, int button) {
    return button >= 1 && button <= static_cast<int>(count) ? names[static_cast<std::size_t>(button - 1)]
                                                            : nullptr;
}

constexpr std::array<const char*, 5> singleClicks = {
    "mouse_leftClick", "mouse_rightClick", "mouse_middleClick", "mouse_button4Click", "mouse_button5Click"};
constexpr std::array<const char*, 3> doubleClicks = {"mouse_leftDoubleClick", "mouse_rightDoubleClick",
                                                     "mouse_middleDoubleClick"};
constexpr std::array<const char*, 3> drags = {"mouse_leftDrag", "mouse_rightDrag", "mouse_middleDrag"};

json multiClick(const LegacyAction& action) {
    switch (action.repeat) {
    case 2:
        return mouseCommand(byButton(doubleClicks, action.argument), action);
    case 3:
        return mouseCommand("mouse_tripleClick", action);
    default:
        // A "multiple" click of fewer than two clicks is one click.
        return action.repeat < 2 ? mouseCommand(byButton(singleClicks, action.argument), action) : noAction;
    }
}

bool isWebAddress(const std::string& lowered) {
    for (const char* marker : {"http://", "ftp://", "www."}) {
        if (lowered.find(marker) != std::string::npos) {
            return true;
        }
    }
    return false;
}

json open(const LegacyAction& action) {
    const auto lowered = lowerCase(action.path);
    auto command = [&](const char* macro, const std::string& label, const std::string& path) {
        return json{{"command", macro}, {"params", {{"label", label}, {"path", path}}}};
    };
    if (isWebAddress(lowered)) {
        return command("launching_openURL", action.name, action.path);
    }
    if (lowered.ends_with(".exe")) {
        return command("launching_openApplication", action.name, action.path);
    }
    // The item itself is tested (not a quoted form of it) and stored, as it
    // is the text known to name an existing item.
    const auto& candidate = action.path.empty() ? action.name : action.path;
    std::error_code error;
    const auto status = std::filesystem::status(pathFromUtf8(candidate), error);
    if (!std::filesystem::exists(status)) {
        return noAction;
    }
    return command(std::filesystem::is_directory(status) ? "launching_openFolder" : "launching_openFile", "",
                   candidate);
}

std::optional<json> snippet(const LegacyAction& action) {
    if (!action.snippet) {
        return std::nullopt;
    }
    if (action.argument < 1) {
        return macroCommand("snippetMenu");
    }
    // The fields stand beside the command, where the snippet kind reads
    // them: "snippet" is no macro that parameters could be merged into.
    return json{{"command", "snippet"},
                {"label", action.snippet->label},
                {"content", action.snippet->content},
                {"index", action.argument - 1}};
}

} // namespace

std::optional<json> convertLegacyAction(const LegacyAction& action, const KeystrokeMacroIndex& index) {
    switch (kindOf(action)) {
    case LegacyKind::keystroke:
        return keystroke(action, index);
    case LegacyKind::showDesktop:
        return macroCommand("desktop_showDesktop");
    case LegacyKind::lockWorkstation:
        return macroCommand("system_lockScreen");
    case LegacyKind::maximizeWindow:
        return macroCommand("desktop_maximizeWindow");
    case LegacyKind::minimizeWindow:
        return macroCommand("desktop_minimizeWindow");
    case LegacyKind::closeWindow:
        return macroCommand("desktop_closeWindow");
    case LegacyKind::minimizeAll:
        return macroCommand("desktop_minimizeAll");
    case LegacyKind::singleClick:
        return mouseCommand(byButton(singleClicks, action.argument), action);
    case LegacyKind::multiClick:
        return multiClick(action);
    case LegacyKind::drag:
        if (auto macro = byButton(drags, action.argument)) {
            return mouseCommand(macro, action);
        }
        return std::nullopt;
    case LegacyKind::open:
        return open(action);
    case LegacyKind::snippet:
        return snippet(action);
    case LegacyKind::none:
        return noAction;
    case LegacyKind::useGlobal:
    case LegacyKind::sequence:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace obx
