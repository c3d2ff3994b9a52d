#include "service/windows/PopupWindow.h"

#include "service/PopupController.h"
#include "service/windows/WinStrings.h"
#include "service/windows/WinSystem.h"
#include "service/windows/WinText.h"
#include "shared/windows/WinTrayIconDisplay.h"

#include <memory>
#include <vector>

namespace obx::win {

namespace {

constexpr UINT_PTR popupTimer = 100;
constexpr WPARAM closeCommand = 105;
constexpr WORD programIcon = 107;
constexpr UINT balloonTimeoutMs = 10'000;

// Everything the popup's window procedure works with; one per process.
class Popup : public PopupHost, public ITrayIconListener {
public:
    Popup(HINSTANCE instance, ServiceLog& log)
        : instance_(instance), display_(instance), controller_(*this, opener_, log) {}

    void create(HWND window) {
        window_ = window;
        icon_ = std::make_unique<CTrayIcon>(display_, u"Quellane", nullptr);
        icon_->setIcon(LoadIconW(instance_, MAKEINTRESOURCEW(programIcon)), true);
        icon_->setListener(this);
        ResourceStrings strings(instance_);
        controller_.start(choosePopupTexts(strings, preferredDisplayLanguage()));
    }

    void destroy() {
        if (icon_) {
            icon_->setVisible(false);
            icon_.reset();
        }
        PostQuitMessage(0);
    }

    void timeUp() { controller_.onTimeUp(); }

    bool showIcon() override { return icon_->setVisible(true); }
    void showBalloon(const PopupTexts& texts) override {
        display_.showBalloon(*icon_, texts.title, texts.message, balloonTimeoutMs);
    }
    void startTimer(std::chrono::milliseconds duration) override {
        SetTimer(window_, popupTimer, static_cast<UINT>(duration.count()), nullptr);
    }
    void stopTimer() override { KillTimer(window_, popupTimer); }
    void postClose() override { PostMessageW(window_, WM_COMMAND, closeCommand, 0); }

    std::intptr_t onTrayIconMessage(CTrayIcon&, std::uint32_t message) override {
        controller_.onIconEvent(message);
        return 0;
    }

private:
    HINSTANCE instance_;
    WinTrayIconDisplay display_;
    ExplorerPageOpener opener_;
    PopupController controller_;
    HWND window_ = nullptr;
    std::unique_ptr<CTrayIcon> icon_;
};

Popup* popup = nullptr;

LRESULT CALLBACK popupProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        popup->create(window);
        return 0;
    case WM_TIMER:
        if (wParam == popupTimer) {
            popup->timeUp();
            return 0;
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == closeCommand) {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        popup->destroy();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring loadString(HINSTANCE instance, int id) {
    ResourceStrings strings(instance);
    return wide(cutToStringBuffer(strings.load(id).value_or(u"")));
}

} // namespace

std::optional<std::string> preferredDisplayLanguage() {
    ULONG count = 0;
    ULONG size = 0;
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, nullptr, &size) || size == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> names(size);
    if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &count, names.data(), &size) || count == 0) {
        return std::nullopt;
    }
    // A list of names, each ending with a NUL; the first is the one.
    return narrow(names.data());
}

int runPopupWindow(HINSTANCE instance, ServiceLog& log) {
    Popup state(instance, log);
    popup = &state;
    const auto title = loadString(instance, popupString::windowTitle);
    const auto className = loadString(instance, popupString::windowClass);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = popupProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(programIcon));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = className.c_str();
    RegisterClassExW(&windowClass);
    const HWND window =
        CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                        CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window) {
        popup = nullptr;
        return 0;
    }
    ShowWindow(window, SW_HIDE);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    popup = nullptr;
    return 0;
}

} // namespace obx::win
