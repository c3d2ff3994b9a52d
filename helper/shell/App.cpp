#include "shell/App.h"

#include "base/DesktopNotifier.h"
#include "base/Log.h"
#include "devices/IObxDeviceManager.h"

#include <exception>

namespace obx {

namespace {

std::unique_ptr<App>& current() {
    static std::unique_ptr<App> app;
    return app;
}

} // namespace

std::u16string productLabel() {
    const std::u16string version = u"2.1.19.0";
    return u"Quellane " + version.substr(0, version.rfind(u'.'));
}

App::~App() {
    setDesktopNotifier({});
    // The core's threads reach into the device manager: they end before the
    // icon and the window go.
    helperCore_.reset();
    trayIcon_.reset();
}

App& App::instance() {
    auto& app = current();
    if (!app) {
        app = std::make_unique<App>();
    }
    return *app;
}

void App::shutdown() {
    current().reset();
}

bool App::init(IAppWindow& window, HelperCoreFactory createCore) {
    if (!window.create(*this)) {
        return false;
    }
    window_ = &window;
    createCore_ = std::move(createCore);
    trayIcon_ = std::make_unique<CTrayIcon>(window.trayIconDisplay(), productLabel(), nullptr);
    trayIcon_->setVisible(false);
    trayIcon_->setListener(this);
    setDesktopNotifier([this](const std::string& title, const std::string& body) {
        return window_->showNotification(*trayIcon_, title, body);
    });
    return true;
}

void App::start() {
    helperCore_ = createCore_();
    trayIcon_->setVisible(helperCore_->deviceManager().getTrayIcon());
}

void App::onSessionChange(std::uint32_t event) {
    if (event == sessionEvent::consoleConnect) {
        logText(LogLevel::debug, "Session change, CONSOLE_CONNECT");
        ensureHelperCore("Session connection - error creating helper: ");
    } else if (event == sessionEvent::consoleDisconnect) {
        logText(LogLevel::debug, "Session change, CONSOLE_DISCONNECT");
        dropHelperCore();
    }
}

int App::onPowerBroadcast(std::uint32_t event) {
    if (event == powerEvent::suspend) {
        logText(LogLevel::debug, "Power SUSPEND");
        dropHelperCore();
    } else if (event == powerEvent::resumeAutomatic) {
        logText(LogLevel::debug, "Power - RESUME");
        ensureHelperCore("Power RESUME - error creating helper: ");
    }
    return 1;
}

void App::onLButtonDblClk(CTrayIcon&) {
    window_->postLaunchRequest();
}

void App::onRButtonUp(CTrayIcon&) {
    if (window_->trackTrayMenu(productLabel())) {
        window_->postLaunchRequest();
    }
}

void App::ensureHelperCore(const char* failurePrefix) {
    if (helperCore_) {
        return;
    }
    try {
        helperCore_ = createCore_();
    } catch (const std::exception& error) {
        log(LogLevel::error, failurePrefix, error.what());
    } catch (...) {
        // A notice handler is the boundary: nothing may end the main loop.
        log(LogLevel::error, failurePrefix, "unknown error");
    }
}

void App::dropHelperCore() {
    helperCore_.reset();
}

} // namespace obx
