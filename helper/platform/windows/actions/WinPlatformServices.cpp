#include "platform/windows/actions/WinPlatformServices.h"

#include "actions/ArrowKeyScroll.h"
#include "actions/SnippetMenuEntries.h"
#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/windows/actions/KnownFolders.h"
#include "platform/windows/base/WindowsWaitPrimitive.h"

#include <array>
#include <boost/locale/encoding_utf.hpp>
#include <climits>
#include <cstdint>
#include <exception>

namespace obx::windows {

namespace {

struct ModifierKey {
    std::uint16_t bit;
    WORD virtualKey;
};

// The order of every press and release, whatever the order of the bits.
constexpr ModifierKey modifierKeys[] = {
    {0x01, VK_SHIFT}, {0x04, VK_CONTROL}, {0x10, VK_MENU}, {0x40, VK_LWIN}, {0x02, VK_APPS},
};

// 0x0A is no virtual key: the Enter key of the numeric keypad stands for it.
constexpr WORD lineFeedKey = 0x0A;

// Alt is not among them: extended, its scan code is the right Alt, which many
// layouts take for AltGr (Ctrl+Alt), so "alt+F4" would arrive as Ctrl+Alt+F4.
bool isExtendedKey(WORD key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_DELETE || (key >= VK_LWIN && key <= VK_APPS) ||
           key == VK_MULTIPLY || key == VK_ADD || (key >= VK_SUBTRACT && key <= VK_DIVIDE) ||
           (key >= VK_BROWSER_BACK && key <= VK_MEDIA_PLAY_PAUSE);
}

INPUT keyboardRecord(WORD virtualKey, WORD scan, DWORD flags, DWORD time) {
    INPUT record{};
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = virtualKey;
    record.ki.wScan = scan;
    record.ki.dwFlags = flags;
    record.ki.time = time;
    return record;
}

INPUT unicodeRecord(wchar_t unit, bool down) {
    return keyboardRecord(0, static_cast<WORD>(unit), KEYEVENTF_UNICODE | (down ? 0 : KEYEVENTF_KEYUP), 0);
}

// The three values of SPI_SETMOUSE by acceleration index: first threshold,
// second threshold, acceleration.
constexpr std::array<std::array<int, 3>, 4> accelerationRows = {{
    {0, 0, 0},
    {10, 128, 3},
    {10, 64, 3},
    {4, 64, 4},
}};

int speedTarget(int speed) {
    const float target = std::max(static_cast<float>(speed) / 100.0f * 20.0f, 1.0f);
    return std::min(static_cast<int>(target), 20);
}

std::size_t accelerationIndex(int rate) {
    const float index = std::min(static_cast<float>(rate) / 100.0f * 3.0f, 3.0f);
    return index < 0.0f ? 0 : static_cast<std::size_t>(index);
}

std::wstring toUtf16(const std::string& text) {
    return boost::locale::conv::utf_to_utf<wchar_t>(text);
}

// Runs the body; whatever it throws is logged and goes no further, since no
// operation may fail its caller.
template <typename Body>
void guarded(const char* operation, Body&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        log(LogLevel::error, "WinPlatformServices::", operation, " - ", error.what());
    }
}

} // namespace

WinPlatformServices::WinPlatformServices(std::unique_ptr<IWin32Calls> calls) : calls_(std::move(calls)) {}

void WinPlatformServices::sendKeystroke(std::uint16_t modifiers, std::uint16_t keyCode, bool down,
                                        bool modifiersOnly) {
    if (keyCode == 0 && modifiers == 0) {
        return;
    }
    std::array<WORD, std::size(modifierKeys) + 1> keys{};
    std::size_t count = 0;
    const bool withKey = !modifiersOnly && keyCode != 0;
    if (!down && withKey) {
        keys[count++] = keyCode;
    }
    for (const auto& modifier : modifierKeys) {
        if ((modifiers & modifier.bit) != 0) {
            keys[count++] = modifier.virtualKey;
        }
    }
    if (down && withKey) {
        keys[count++] = keyCode;
    }
    if (count == 0) {
        return;
    }
    const DWORD time = calls_->tickCount();
    std::array<INPUT, keys.size()> records{};
    for (std::size_t i = 0; i < count; ++i) {
        WORD key = keys[i];
        DWORD flags = KEYEVENTF_SCANCODE | (down ? 0 : KEYEVENTF_KEYUP);
        if (key == lineFeedKey) {
            key = VK_RETURN;
            flags |= KEYEVENTF_EXTENDEDKEY;
        } else if (isExtendedKey(key)) {
            flags |= KEYEVENTF_EXTENDEDKEY;
        }
        records[i] = keyboardRecord(key, static_cast<WORD>(calls_->scanCode(key)), flags, time);
    }
    calls_->sendInput(std::span(records.data(), count));
}

void WinPlatformServices::typeText(const std::string& text) {
    try {
        std::size_t position = 0;
        while (position < text.size()) {
            const auto lineEnd = std::min(text.find('\n', position), text.size());
            if (lineEnd > position) {
                const auto line = text.substr(position, lineEnd - position);
                log(LogLevel::debug, "Snippet line: ", line);
                typeLine(line);
            }
            for (position = lineEnd; position < text.size() && text[position] == '\n'; ++position) {
                log(LogLevel::debug, "Snippet insert LF");
                std::array<INPUT, 2> enter = {keyboardRecord(VK_RETURN, 0, 0, 0),
                                              keyboardRecord(VK_RETURN, 0, KEYEVENTF_KEYUP, 0)};
                calls_->sendInput(enter);
            }
        }
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error converting snippet string to UTF16: ", error.what());
    }
}

void WinPlatformServices::typeLine(const std::string& line) {
    const int length = line.size() > INT_MAX ? 0 : static_cast<int>(line.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, line.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(units, 0)), L'\0');
    if (units <= 0 || ::MultiByteToWideChar(CP_UTF8, 0, line.data(), length, wide.data(), units) != units) {
        log(LogLevel::error, "Error converting snippet line to UTF16, rc: ", ::GetLastError());
        return;
    }
    std::vector<INPUT> records;
    records.reserve(wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const wchar_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDFFF && i + 1 < wide.size()) {
            // Both halves down before either goes up: one character.
            const wchar_t low = wide[++i];
            records.insert(records.end(), {unicodeRecord(unit, true), unicodeRecord(low, true),
                                           unicodeRecord(unit, false), unicodeRecord(low, false)});
        } else {
            records.insert(records.end(), {unicodeRecord(unit, true), unicodeRecord(unit, false)});
        }
    }
    calls_->sendInput(records);
}

void WinPlatformServices::sendMouseButton(std::uint32_t buttonMask, bool down) {
    DWORD flags = 0;
    switch (buttonMask) {
    case 1:
        flags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
        break;
    case 2:
        flags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
        break;
    case 4:
        flags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
        break;
    default:
        return;
    }
    POINT at{};
    calls_->cursorPos(at);
    std::array<INPUT, 1> record{};
    record[0].type = INPUT_MOUSE;
    // Without MOUSEEVENTF_MOVE the position is not applied: the click lands
    // where the pointer is.
    record[0].mi.dx = at.x;
    record[0].mi.dy = at.y;
    record[0].mi.dwFlags = flags;
    record[0].mi.time = calls_->tickCount();
    calls_->sendInput(record);
}

void WinPlatformServices::applyPointerSettings(int speed, int accelerationRate, int wheelLines) {
    // fWinIni 0 throughout: the change lasts for the session and is never
    // written to the user's profile.
    const int targetSpeed = speedTarget(speed);
    int currentSpeed = 0;
    if (!calls_->systemParametersInfo(SPI_GETMOUSESPEED, 0, &currentSpeed, 0) ||
        currentSpeed != targetSpeed) {
        calls_->systemParametersInfo(SPI_SETMOUSESPEED, 0,
                                     reinterpret_cast<void*>(static_cast<std::intptr_t>(targetSpeed)), 0);
    }

    auto row = accelerationRows[accelerationIndex(accelerationRate)];
    std::array<int, 3> currentRow{};
    if (!calls_->systemParametersInfo(SPI_GETMOUSE, 0, currentRow.data(), 0) || currentRow != row) {
        calls_->systemParametersInfo(SPI_SETMOUSE, 0, row.data(), 0);
    }

    UINT currentLines = 0;
    const auto lines = static_cast<UINT>(wheelLines);
    if (!calls_->systemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &currentLines, 0) ||
        currentLines != lines) {
        calls_->systemParametersInfo(SPI_SETWHEELSCROLLLINES, lines, nullptr, 0);
    }
}

void WinPlatformServices::openItem(const std::string& path, const std::vector<std::string>&, int) {
    guarded("openItem", [&] {
        wchar_t desktop[MAX_PATH] = {};
        if (calls_->desktopFolder(desktop)) {
            calls_->shellExecute(toUtf16(path).c_str(), desktop);
        }
    });
}

std::string WinPlatformServices::dataFolder() {
    return helperDataFolder();
}

void WinPlatformServices::runSystemAction(const std::string& action, const nlohmann::json&) {
    static const std::pair<const char*, WPARAM> windowCommands[] = {
        {"maximizeWindow", SC_MAXIMIZE},
        {"minimizeWindow", SC_MINIMIZE},
        {"closeWindow", SC_CLOSE},
    };
    for (const auto& [name, command] : windowCommands) {
        if (action == name) {
            // Without a foreground window the message would go to this
            // thread's own queue.
            if (HWND foreground = calls_->foregroundWindow()) {
                calls_->postMessage(foreground, WM_SYSCOMMAND, command, 0);
            }
            return;
        }
    }
    if (action == "minimizeAll") {
        guarded("runSystemAction", [&] { minimizeOthers(); });
    } else if (action == "lockWorkstation") {
        calls_->lockWorkStation();
    } else {
        log(LogLevel::error, "Could not found handler for system action '", action, "'");
    }
}

void WinPlatformServices::minimizeOthers() {
    HWND foreground = calls_->foregroundWindow();
    DWORD foregroundProcess = 0;
    if (foreground) {
        calls_->windowThreadProcess(foreground, foregroundProcess);
    }
    for (HWND window : calls_->topLevelWindows()) {
        DWORD process = 0;
        if (window == foreground || !calls_->isWindowVisible(window)) {
            continue;
        }
        calls_->windowThreadProcess(window, process);
        if (process != foregroundProcess) {
            calls_->postMessage(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        }
    }
}

nlohmann::json WinPlatformServices::listApplications(int maxCount,
                                                     const std::set<std::string>& excludedNames) {
    return programCatalogue().listApplications(maxCount, excludedNames);
}

std::string WinPlatformServices::showSnippetMenu(const std::vector<std::string>& contents,
                                                 const std::vector<std::string>& labels) {
    std::string chosen;
    HMENU menu = calls_->createPopupMenu();
    if (!menu) {
        return chosen;
    }
    guarded("showSnippetMenu", [&] {
        constexpr UINT_PTR titleId = 1000;
        constexpr UINT_PTR separatorId = 1001;
        calls_->insertMenuItem(menu, 0, MF_STRING | MF_DISABLED, titleId, toUtf16(snippetMenuTitle).c_str());
        calls_->insertMenuItem(menu, 1, MF_SEPARATOR, separatorId, nullptr);
        const auto entries = snippetMenuEntries(contents, labels);
        for (std::size_t k = 0; k < entries.size(); ++k) {
            calls_->insertMenuItem(menu, static_cast<UINT>(-1), MF_STRING, k + 1,
                                   toUtf16(entries[k].caption).c_str());
        }
        POINT at{};
        calls_->cursorPos(at);
        // A menu whose owner is not the foreground window would not close
        // when the user clicks elsewhere: the owner takes the foreground for
        // the time of the menu, with this thread's input joined to the
        // thread that had it.
        HWND previous = calls_->foregroundWindow();
        DWORD ignoredProcess = 0;
        const DWORD previousThread = previous ? calls_->windowThreadProcess(previous, ignoredProcess) : 0;
        const DWORD thisThread = ::GetCurrentThreadId();
        const bool attached = previousThread != 0 && previousThread != thisThread &&
                              calls_->attachThreadInput(thisThread, previousThread, true);
        HWND owner = deviceManagerMenuOwner();
        calls_->setForegroundWindow(owner);
        const UINT alignment = ::GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
        const UINT id = calls_->trackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | alignment, at, owner);
        if (previous) {
            calls_->setForegroundWindow(previous);
        }
        if (attached) {
            calls_->attachThreadInput(thisThread, previousThread, false);
        }
        if (id >= 1 && id <= entries.size()) {
            chosen = entries[id - 1].content;
        }
    });
    calls_->destroyMenu(menu);
    return chosen;
}

int WinPlatformServices::systemPointerSpeed() {
    int speed = 0;
    if (!calls_->systemParametersInfo(SPI_GETMOUSESPEED, 0, &speed, 0)) {
        return 50;
    }
    // The interface's scale is 5 to 100.
    return std::clamp(speed * 5, 5, 100);
}

int WinPlatformServices::systemAccelerationRate() {
    std::array<int, 3> mouse{};
    return calls_->systemParametersInfo(SPI_GETMOUSE, 0, mouse.data(), 0) && mouse[2] > 0 ? 10 : 0;
}

int WinPlatformServices::systemWheelLines() {
    UINT lines = 0;
    return calls_->systemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0) ? static_cast<int>(lines) : 1;
}

void WinPlatformServices::scrollByKeys(std::uint32_t direction, int lines) {
    scrollByArrowKeys(*this, direction, lines);
}

} // namespace obx::windows
