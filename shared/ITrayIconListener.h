#pragma once

// Receives the mouse and balloon notifications of a notification-area icon.
// Every handler does nothing unless overridden.

#include <cstdint>

namespace obx {

class CTrayIcon;

// The notifications an icon reports, numbered as the window messages that
// carry them on the system that defined them.
namespace trayMessage {
inline constexpr std::uint32_t mouseMove = 0x200;
inline constexpr std::uint32_t lButtonDown = 0x201;
inline constexpr std::uint32_t lButtonUp = 0x202;
inline constexpr std::uint32_t lButtonDblClk = 0x203;
inline constexpr std::uint32_t rButtonDown = 0x204;
inline constexpr std::uint32_t rButtonUp = 0x205;
inline constexpr std::uint32_t rButtonDblClk = 0x206;
inline constexpr std::uint32_t mButtonDown = 0x207;
inline constexpr std::uint32_t mButtonUp = 0x208;
inline constexpr std::uint32_t mButtonDblClk = 0x209;
inline constexpr std::uint32_t select = 0x400;
inline constexpr std::uint32_t balloonShow = 0x402;
inline constexpr std::uint32_t balloonHide = 0x403;
inline constexpr std::uint32_t balloonTimeout = 0x404;
inline constexpr std::uint32_t balloonUserClick = 0x405;
} // namespace trayMessage

class ITrayIconListener {
public:
    virtual void onMouseMove(CTrayIcon&) {}
    virtual void onLButtonDown(CTrayIcon&) {}
    virtual void onLButtonUp(CTrayIcon&) {}
    virtual void onLButtonDblClk(CTrayIcon&) {}
    virtual void onRButtonDown(CTrayIcon&) {}
    virtual void onRButtonUp(CTrayIcon&) {}
    virtual void onRButtonDblClk(CTrayIcon&) {}
    virtual void onMButtonDown(CTrayIcon&) {}
    virtual void onMButtonUp(CTrayIcon&) {}
    virtual void onMButtonDblClk(CTrayIcon&) {}
    virtual void onSelect(CTrayIcon&) {}
    virtual void onBalloonShow(CTrayIcon&) {}
    virtual void onBalloonHide(CTrayIcon&) {}
    virtual void onBalloonTimeout(CTrayIcon&) {}
    virtual void onBalloonUserClick(CTrayIcon&) {}

    // Calls the handler of message; messages without one are ignored.
    virtual std::intptr_t onTrayIconMessage(CTrayIcon& icon, std::uint32_t message);

    virtual ~ITrayIconListener() = default;
};

} // namespace obx
