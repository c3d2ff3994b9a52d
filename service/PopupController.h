#pragma once

// The download invitation in the user's session: an icon with a balloon that
// opens the product page when clicked; the popup closes at the click or when
// its time is up, whichever comes first.

#include "service/PopupTexts.h"
#include "service/ProductPage.h"
#include "service/ServiceLog.h"

#include <chrono>
#include <cstdint>

namespace obx {

// What the popup needs of the desktop it runs on.
class PopupHost {
public:
    virtual ~PopupHost() = default;
    // Adds the icon; answers whether the desktop took it.
    virtual bool showIcon() = 0;
    virtual void showBalloon(const PopupTexts& texts) = 0;
    // One timer: onTimeUp once duration has passed, unless stopped.
    virtual void startTimer(std::chrono::milliseconds duration) = 0;
    virtual void stopTimer() = 0;
    // Asks for the close, which happens when the host next looks at its
    // queue: the icon goes and the popup's loop ends.
    virtual void postClose() = 0;
};

class PopupController {
public:
    static constexpr std::chrono::seconds lifetime{60};

    PopupController(PopupHost& host, PageOpener& opener, ServiceLog& log)
        : host_(host), opener_(opener), log_(log) {}

    void start(const PopupTexts& texts);
    // A notification of the icon, numbered as trayMessage's.
    void onIconEvent(std::uint32_t notification);
    void onTimeUp();

private:
    PopupHost& host_;
    PageOpener& opener_;
    ServiceLog& log_;
    // Notifications that arrive after the close was asked for are late.
    bool closing_ = false;
};

} // namespace obx
