#pragma once

// The application object of the main thread: owns the hidden window, the
// notification-area icon and the helper core, and drops the core while the
// session is off the console or the system sleeps, so that the helper then
// holds no trackballs and no listening port.

#include "shared/CTrayIcon.h"
#include "shell/AppWindow.h"
#include "shell/HelperCore.h"
#include "shell/SessionEvents.h"

#include <functional>
#include <memory>
#include <string>

namespace obx {

// "Quellane " and the version without its last component.
std::u16string productLabel();

class App : public ITrayIconListener, public ISessionEventSink {
public:
    using HelperCoreFactory = std::function<std::unique_ptr<IHelperCore>()>;

    App() = default;
    ~App() override;
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The process's application object, made on first use.
    static App& instance();
    // Drops the helper core and the icon and deletes the application object;
    // does nothing when there is none.
    static void shutdown();

    // Creates the window and the hidden icon; false when the window cannot
    // be made. window must outlive the object.
    bool init(IAppWindow& window, HelperCoreFactory createCore);
    // Start-up: the first helper core (throws what its creation throws), then
    // the icon shown as the settings ask.
    void start();

    void onSessionChange(std::uint32_t event) override;
    int onPowerBroadcast(std::uint32_t event) override;

    void onLButtonDblClk(CTrayIcon& icon) override;
    void onRButtonUp(CTrayIcon& icon) override;

    bool hasHelperCore() const { return helperCore_ != nullptr; }
    CTrayIcon* trayIcon() const { return trayIcon_.get(); }

private:
    // Makes a core unless one exists; a failure is logged after prefix.
    void ensureHelperCore(const char* failurePrefix);
    void dropHelperCore();

    IAppWindow* window_ = nullptr;
    HelperCoreFactory createCore_;
    std::unique_ptr<CTrayIcon> trayIcon_;
    std::unique_ptr<IHelperCore> helperCore_;
};

} // namespace obx
