#include "shell/HelperEntry.h"

#include "actions/PlatformServicesImpl.h"
#include "base/LogCapture.h"
#include "devices/DeviceManagerBase.h"
#include "platform/headless/HeadlessPlatformServices.h"
#include "settings/Settings.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace obx {
namespace {

using namespace std::chrono_literals;

class FakeWindow : public IAppWindow, public ITrayIconDisplay {
public:
    explicit FakeWindow(bool creatable) : creatable_(creatable) {}
    bool create(ISessionEventSink&) override { return creatable_; }
    ITrayIconDisplay& trayIconDisplay() override { return *this; }
    void postLaunchRequest() override {}
    bool trackTrayMenu(const std::u16string&) override { return false; }
    void runMessageLoop() override { ++loopsRun; }

    bool add(const CTrayIcon&) override { return true; }
    bool remove(const CTrayIcon&) override { return true; }
    void updateTooltip(const CTrayIcon&) override {}
    void updateImage(const CTrayIcon&) override {}
    void destroyImage(TrayIconHandle) override {}

    static inline int loopsRun = 0;

private:
    bool creatable_;
};

class FakeShellPlatform : public ShellPlatform {
public:
    explicit FakeShellPlatform(std::string folder) : folder_(std::move(folder)) {}

    void askRunningInstanceToQuit(std::chrono::milliseconds timeout) override {
        quitWaits.push_back(timeout);
    }
    void launchConfigurationApp() override { ++launches; }
    std::unique_ptr<IAppWindow> claimInstance() override {
        if (anotherInstance) {
            return nullptr;
        }
        return std::make_unique<FakeWindow>(windowCreatable);
    }
    unsigned long runningInstanceId() override { return runningPid; }
    bool installDesktop() override {
        setPlatformServicesFactory(
            [folder = folder_] { return std::make_unique<HeadlessPlatformServices>(folder); });
        return false;
    }
    void initializeComponentModel() override { componentModel("in"); }
    void uninitializeComponentModel() override { componentModel("out"); }

    bool anotherInstance = false;
    unsigned long runningPid = 0;
    bool windowCreatable = true;
    std::vector<std::chrono::milliseconds> quitWaits;
    int launches = 0;
    std::function<void(const std::string&)> componentModel = [](const std::string&) {};

private:
    std::string folder_;
};

class CoreOfSettings : public IHelperCore {
public:
    explicit CoreOfSettings(int& alive) : alive_(alive) {
        manager_.useSettings(std::make_unique<Settings>());
        ++alive_;
    }
    ~CoreOfSettings() override { --alive_; }
    IObxDeviceManager& deviceManager() override { return manager_; }

private:
    int& alive_;
    DeviceManagerBase manager_;
};

class HelperEntryTest : public ::testing::Test {
protected:
    HelperEntryTest() : platform((temp / "data").string()) { FakeWindow::loopsRun = 0; }
    ~HelperEntryTest() override {
        destroyPlatformServices();
        setPlatformServicesFactory({});
    }

    int run(std::vector<const char*> args) {
        args.insert(args.begin(), "obxhelper");
        const HelperParts parts{platform, [this] { migrate(); },
                                [this]() -> std::unique_ptr<IHelperCore> {
                                    coreFailure();
                                    ++coresMade;
                                    return std::make_unique<CoreOfSettings>(coresAlive);
                                }};
        return runHelper(static_cast<int>(args.size()), args.data(), parts);
    }

    test::TempFolder temp;
    FakeShellPlatform platform;
    std::function<void()> migrate = [] {};
    std::function<void()> coreFailure = [] {};
    int coresMade = 0;
    int coresAlive = 0;
    LogCapture capture;
};

TEST_F(HelperEntryTest, NormalRunStartsTheCoreRunsTheLoopAndShutsDown) {
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(FakeWindow::loopsRun, 1);
    EXPECT_EQ(coresMade, 1);
    EXPECT_EQ(coresAlive, 0);
    EXPECT_TRUE(capture.contains(LogLevel::error, "Log initialized, logLevel: info"));
    EXPECT_TRUE(capture.contains(LogLevel::warning,
                                 "No desktop display: the helper runs headless and input is only logged"));
    EXPECT_EQ(capture.records().back(), (LogRecord{LogLevel::error, "Log deinitialized"}));
    EXPECT_TRUE(std::filesystem::exists(temp / "data" / "obxhelper_00.log"));
}

TEST_F(HelperEntryTest, ComponentModelSpansTheApplicationObjectAndEndsBeforeTheLastLogLine) {
    std::vector<std::string> journal;
    migrate = [&] { journal.push_back("migrate"); };
    std::filesystem::create_directories(temp / "data");
    test::writeFile(temp / "data" / "ObxSettings.xml", "legacy");
    platform.componentModel = [&](const std::string& step) {
        journal.push_back(step + ", cores " + std::to_string(coresAlive) +
                          (capture.contains(LogLevel::error, "Log deinitialized") ? ", log closed" : ""));
    };
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(journal, (std::vector<std::string>{"migrate", "in, cores 0", "out, cores 0"}));

    journal.clear();
    capture.clear();
    std::filesystem::remove(temp / "data" / "ObxSettings.xml");
    coreFailure = [] { throw std::runtime_error("no core"); };
    EXPECT_EQ(run({}), 1);
    EXPECT_EQ(journal, (std::vector<std::string>{"in, cores 0", "out, cores 0"})) << "a failed start too";
}

TEST_F(HelperEntryTest, AnotherInstanceEndsWithTwoBeforeAnyLogAndSaysWhichOnStandardError) {
    platform.anotherInstance = true;
    for (const auto& [pid, line] :
         {std::pair{4242ul, "obxhelper: already running (pid 4242); use --quit to stop it\n"},
          std::pair{0ul, "obxhelper: already running; use --quit to stop it\n"}}) {
        platform.runningPid = pid;
        std::ostringstream standardError;
        auto* const original = std::cerr.rdbuf(standardError.rdbuf());
        const int exitCode = run({"--verbose"});
        std::cerr.rdbuf(original);
        EXPECT_EQ(exitCode, 2);
        EXPECT_EQ(standardError.str(), line);
    }
    EXPECT_TRUE(capture.records().empty());
    EXPECT_FALSE(std::filesystem::exists(temp / "data"));
}

TEST_F(HelperEntryTest, QuitAsksTheRunningInstanceAndWaitsFiveSeconds) {
    EXPECT_EQ(run({"--quit", "--launchGui"}), 0);
    EXPECT_EQ(platform.quitWaits, std::vector<std::chrono::milliseconds>{5000ms});
    EXPECT_EQ(platform.launches, 0);
    EXPECT_TRUE(capture.records().empty());
}

TEST_F(HelperEntryTest, LaunchGuiStartsTheApplicationWithoutInstanceCheck) {
    platform.anotherInstance = true;
    EXPECT_EQ(run({"--launchGui"}), 0);
    EXPECT_EQ(platform.launches, 1);
    EXPECT_EQ(FakeWindow::loopsRun, 0);
}

TEST_F(HelperEntryTest, ParseErrorFailsWithOne) {
    EXPECT_EQ(run({"--logLevel", "loud"}), 1);
    EXPECT_TRUE(capture.contains(LogLevel::error, "Error starting the app, reason: the argument ('loud') for "
                                                  "option '--logLevel' is invalid"));
}

TEST_F(HelperEntryTest, WindowThatCannotBeMadeFailsWithOne) {
    platform.windowCreatable = false;
    EXPECT_EQ(run({}), 1);
    EXPECT_EQ(coresMade, 0);
    EXPECT_EQ(FakeWindow::loopsRun, 0);
    EXPECT_TRUE(capture.contains(LogLevel::error,
                                 "Error starting the app, reason: Error creating the application window"));
    EXPECT_FALSE(capture.contains(LogLevel::error, "Log deinitialized"));
}

TEST_F(HelperEntryTest, CoreFailureAtStartFailsWithOneAndItsMessage) {
    coreFailure = [] { throw std::runtime_error("Error initializing device manager"); };
    EXPECT_EQ(run({}), 1);
    EXPECT_EQ(FakeWindow::loopsRun, 0);
    EXPECT_TRUE(capture.contains(LogLevel::error,
                                 "Error starting the app, reason: Error initializing device manager"));
    // The application object went with the failed start.
    EXPECT_EQ(App::instance().trayIcon(), nullptr);
    App::shutdown();
}

TEST_F(HelperEntryTest, FailureWithoutMessageIsAnUnknownError) {
    coreFailure = [] { throw 42; };
    EXPECT_EQ(run({}), 1);
    EXPECT_TRUE(capture.contains(LogLevel::error, "Unknown error while starting the app"));
}

TEST_F(HelperEntryTest, LegacySettingsAreMigratedOnlyWithoutASettingsFile) {
    int migrations = 0;
    migrate = [&] { ++migrations; };
    std::filesystem::create_directories(temp / "data");
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(migrations, 0) << "no legacy file";

    std::filesystem::remove(temp / "data" / "ObxSettings.json");
    test::writeFile(temp / "data" / "ObxSettings.xml", "legacy");
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(migrations, 1);

    test::writeFile(temp / "data" / "ObxSettings.json", "{}");
    EXPECT_EQ(run({}), 0);
    EXPECT_EQ(migrations, 1) << "a settings file exists";
}

TEST_F(HelperEntryTest, FailedMigrationIsLoggedAndStartGoesOn) {
    std::filesystem::create_directories(temp / "data");
    test::writeFile(temp / "data" / "ObxSettings.xml", "legacy");
    migrate = [] { throw std::runtime_error("unreadable"); };
    EXPECT_EQ(run({}), 0);
    EXPECT_TRUE(
        capture.contains(LogLevel::warning, "Error migrating old settings, using default settings.."));
    EXPECT_EQ(coresMade, 1);
}

} // namespace
} // namespace obx
