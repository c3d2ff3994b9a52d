#include "service/PopupController.h"

#include "shared/ITrayIconListener.h"

namespace obx {

void PopupController::start(const PopupTexts& texts) {
    // Without an icon there is no balloon; the popup still ends in time.
    if (host_.showIcon()) {
        host_.showBalloon(texts);
    }
    host_.startTimer(lifetime);
}

void PopupController::onIconEvent(std::uint32_t notification) {
    if (notification != trayMessage::balloonUserClick || closing_) {
        return;
    }
    closing_ = true;
    openProductPage(opener_, log_);
    host_.postClose();
}

void PopupController::onTimeUp() {
    host_.stopTimer();
    closing_ = true;
    host_.postClose();
}

} // namespace obx
