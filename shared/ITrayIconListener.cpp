#include "shared/ITrayIconListener.h"

namespace obx {

std::intptr_t ITrayIconListener::onTrayIconMessage(CTrayIcon& icon, std::uint32_t message) {
    using Handler = void (ITrayIconListener::*)(CTrayIcon&);
    struct Route {
        std::uint32_t message;
        Handler handler;
    };
    static constexpr Route routes[] = {
        {trayMessage::mouseMove, &ITrayIconListener::onMouseMove},
        {trayMessage::lButtonDown, &ITrayIconListener::onLButtonDown},
        {trayMessage::lButtonUp, &ITrayIconListener::onLButtonUp},
        {trayMessage::lButtonDblClk, &ITrayIconListener::onLButtonDblClk},
        {trayMessage::rButtonDown, &ITrayIconListener::onRButtonDown},
        {trayMessage::rButtonUp, &ITrayIconListener::onRButtonUp},
        {trayMessage::rButtonDblClk, &ITrayIconListener::onRButtonDblClk},
        {trayMessage::mButtonDown, &ITrayIconListener::onMButtonDown},
        {trayMessage::mButtonUp, &ITrayIconListener::onMButtonUp},
        {trayMessage::mButtonDblClk, &ITrayIconListener::onMButtonDblClk},
        {trayMessage::select, &ITrayIconListener::onSelect},
        {trayMessage::balloonShow, &ITrayIconListener::onBalloonShow},
        {trayMessage::balloonHide, &ITrayIconListener::onBalloonHide},
        {trayMessage::balloonTimeout, &ITrayIconListener::onBalloonTimeout},
        {trayMessage::balloonUserClick, &ITrayIconListener::onBalloonUserClick},
    };
    for (const auto& route : routes) {
        if (route.message == message) {
            (this->*route.handler)(icon);
            break;
        }
    }
    return 0;
}

} // namespace obx
