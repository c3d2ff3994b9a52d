#include "shell/App.h"

#include "base/LogCapture.h"
#include "devices/DeviceManagerBase.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace obx {
namespace {

class FakeWindow : public IAppWindow, public ITrayIconDisplay {
public:
    bool create(ISessionEventSink& sink) override {
        this->sink = &sink;
        return creatable;
    }
    ITrayIconDisplay& trayIconDisplay() override { return *this; }
    void postLaunchRequest() override { ++launchRequests; }
    bool trackTrayMenu(const std::u16string& label) override {
        menuLabels.push_back(label);
        return menuChoice;
    }
    void runMessageLoop() override {}

    bool add(const CTrayIcon&) override {
        ++adds;
        return true;
    }
    bool remove(const CTrayIcon&) override {
        ++removes;
        return true;
    }
    void updateTooltip(const CTrayIcon&) override {}
    void updateImage(const CTrayIcon&) override {}
    void destroyImage(TrayIconHandle) override {}

    bool creatable = true;
    bool menuChoice = false;
    ISessionEventSink* sink = nullptr;
    int launchRequests = 0;
    std::vector<std::u16string> menuLabels;
    int adds = 0;
    int removes = 0;
};

// Counts the cores alive and made; fails on demand.
struct CoreCounter {
    int alive = 0;
    int made = 0;
    bool failNext = false;
    bool trayIcon = true;
};

class FakeCore : public IHelperCore {
public:
    explicit FakeCore(CoreCounter& counter) : counter_(counter) {
        auto settings = std::make_unique<Settings>();
        settings->trayIcon = counter.trayIcon;
        manager_.useSettings(std::move(settings));
        ++counter_.alive;
        ++counter_.made;
    }
    ~FakeCore() override { --counter_.alive; }
    IObxDeviceManager& deviceManager() override { return manager_; }

private:
    CoreCounter& counter_;
    DeviceManagerBase manager_;
};

class AppTest : public ::testing::Test {
protected:
    App::HelperCoreFactory factory() {
        return [this]() -> std::unique_ptr<IHelperCore> {
            if (cores.failNext) {
                cores.failNext = false;
                throw std::runtime_error("Error initializing device manager");
            }
            return std::make_unique<FakeCore>(cores);
        };
    }

    void startApp() {
        ASSERT_TRUE(app.init(window, factory()));
        app.start();
        ASSERT_EQ(cores.alive, 1);
    }

    FakeWindow window;
    CoreCounter cores;
    App app;
    LogCapture capture;
};

TEST_F(AppTest, ProductLabelCarriesThreeVersionComponents) {
    EXPECT_EQ(productLabel(), u"Quellane 2.1.19");
}

TEST_F(AppTest, InitFailsWithoutAWindow) {
    window.creatable = false;
    EXPECT_FALSE(app.init(window, factory()));
    EXPECT_EQ(app.trayIcon(), nullptr);
    EXPECT_EQ(cores.made, 0);
}

TEST_F(AppTest, InitMakesAHiddenIconWithTheProductLabel) {
    ASSERT_TRUE(app.init(window, factory()));
    ASSERT_NE(app.trayIcon(), nullptr);
    EXPECT_EQ(app.trayIcon()->tooltip(), u"Quellane 2.1.19");
    EXPECT_FALSE(app.trayIcon()->visible());
    EXPECT_EQ(window.sink, &app);
    EXPECT_EQ(window.adds, 0);
    EXPECT_FALSE(app.hasHelperCore());
}

TEST_F(AppTest, StartShowsTheIconAsTheSettingsSay) {
    startApp();
    EXPECT_TRUE(app.trayIcon()->visible());
    EXPECT_EQ(window.adds, 1);
}

TEST_F(AppTest, StartKeepsTheIconHiddenWhenTheSettingsSaySo) {
    cores.trayIcon = false;
    startApp();
    EXPECT_FALSE(app.trayIcon()->visible());
    EXPECT_EQ(window.adds, 0);
}

TEST_F(AppTest, StartPassesACoreFailureOn) {
    ASSERT_TRUE(app.init(window, factory()));
    cores.failNext = true;
    EXPECT_THROW(app.start(), std::runtime_error);
    EXPECT_FALSE(app.hasHelperCore());
}

TEST_F(AppTest, TwoConnectsMakeOneCore) {
    startApp();
    app.onSessionChange(sessionEvent::consoleDisconnect);
    EXPECT_EQ(cores.alive, 0);
    app.onSessionChange(sessionEvent::consoleConnect);
    app.onSessionChange(sessionEvent::consoleConnect);
    EXPECT_EQ(cores.alive, 1);
    EXPECT_EQ(cores.made, 2);
    EXPECT_EQ(capture.records(), (std::vector<LogRecord>{
                                     {LogLevel::debug, "Session change, CONSOLE_DISCONNECT"},
                                     {LogLevel::debug, "Session change, CONSOLE_CONNECT"},
                                     {LogLevel::debug, "Session change, CONSOLE_CONNECT"},
                                 }));
}

TEST_F(AppTest, OtherSessionEventsDoNothing) {
    startApp();
    for (std::uint32_t event : {0u, 3u, 4u, 5u, 6u, 7u, 8u, 9u}) {
        app.onSessionChange(event);
    }
    EXPECT_EQ(cores.alive, 1);
    EXPECT_EQ(cores.made, 1);
    EXPECT_TRUE(capture.records().empty());
}

TEST_F(AppTest, SuspendThenResumeRebuildsTheCore) {
    startApp();
    EXPECT_EQ(app.onPowerBroadcast(powerEvent::suspend), 1);
    EXPECT_FALSE(app.hasHelperCore());
    EXPECT_EQ(cores.alive, 0);
    EXPECT_EQ(app.onPowerBroadcast(powerEvent::resumeAutomatic), 1);
    EXPECT_TRUE(app.hasHelperCore());
    EXPECT_EQ(cores.made, 2);
    EXPECT_EQ(capture.records(), (std::vector<LogRecord>{
                                     {LogLevel::debug, "Power SUSPEND"},
                                     {LogLevel::debug, "Power - RESUME"},
                                 }));
}

TEST_F(AppTest, ResumeWithACoreOnlyLogs) {
    startApp();
    EXPECT_EQ(app.onPowerBroadcast(powerEvent::resumeAutomatic), 1);
    EXPECT_EQ(cores.made, 1);
    EXPECT_TRUE(capture.contains(LogLevel::debug, "Power - RESUME"));
}

TEST_F(AppTest, OtherPowerEventsDoNothing) {
    startApp();
    app.onPowerBroadcast(powerEvent::suspend);
    for (std::uint32_t event : {7u, 6u, 10u, 0x8013u}) {
        EXPECT_EQ(app.onPowerBroadcast(event), 1);
    }
    EXPECT_FALSE(app.hasHelperCore());
    EXPECT_EQ(cores.made, 1);
}

TEST_F(AppTest, FailedCreationOnConnectIsLoggedAndLeavesNoCore) {
    startApp();
    app.onSessionChange(sessionEvent::consoleDisconnect);
    cores.failNext = true;
    app.onSessionChange(sessionEvent::consoleConnect);
    EXPECT_FALSE(app.hasHelperCore());
    EXPECT_TRUE(capture.contains(
        LogLevel::error, "Session connection - error creating helper: Error initializing device manager"));
    app.onSessionChange(sessionEvent::consoleConnect);
    EXPECT_TRUE(app.hasHelperCore());
}

TEST_F(AppTest, FailedCreationOnResumeIsLoggedAndLeavesNoCore) {
    startApp();
    app.onPowerBroadcast(powerEvent::suspend);
    cores.failNext = true;
    EXPECT_EQ(app.onPowerBroadcast(powerEvent::resumeAutomatic), 1);
    EXPECT_FALSE(app.hasHelperCore());
    EXPECT_TRUE(capture.contains(LogLevel::error,
                                 "Power RESUME - error creating helper: Error initializing device manager"));
}

TEST_F(AppTest, DoubleClickAsksForTheConfigurationApplication) {
    startApp();
    CTrayIcon::dispatch(app.trayIcon()->id(), 0x203);
    EXPECT_EQ(window.launchRequests, 1);
}

TEST_F(AppTest, MenuEntryStartsTheConfigurationApplicationOnlyWhenChosen) {
    startApp();
    app.trayIcon()->onMessage(0x205);
    EXPECT_EQ(window.launchRequests, 0);
    window.menuChoice = true;
    app.trayIcon()->onMessage(0x205);
    EXPECT_EQ(window.launchRequests, 1);
    EXPECT_EQ(window.menuLabels, (std::vector<std::u16string>{u"Quellane 2.1.19", u"Quellane 2.1.19"}));
}

TEST(AppInstanceTest, ShutdownDeletesTheProcessObject) {
    App* first = &App::instance();
    EXPECT_EQ(&App::instance(), first);
    App::shutdown();
    App::shutdown();
    App& second = App::instance();
    EXPECT_FALSE(second.hasHelperCore());
    EXPECT_EQ(second.trayIcon(), nullptr);
    App::shutdown();
}

} // namespace
} // namespace obx
