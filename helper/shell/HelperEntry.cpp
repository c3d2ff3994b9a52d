#include "shell/HelperEntry.h"

#include "actions/PlatformServicesImpl.h"
#include "base/Log.h"
#include "catalogue/ProgramCatalogue.h"
#include "platform/ProcessLocale.h"
#include "platform/ProgramPath.h"
#include "settings/SettingsPaths.h"
#include "shell/HelperOptions.h"

#include <boost/filesystem/path.hpp>
#include <boost/program_options/errors.hpp>
#include <exception>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

namespace obx {

namespace {

using namespace std::chrono_literals;

constexpr auto quitWait = 5000ms;

// The system's locale, or C.UTF-8 when the environment names one that is
// not installed: a missing locale must not stop the helper (every library
// that asks for the user's locale would throw). The warning to log once the
// log is open; empty when there is none.
std::string setUpLocale() {
    std::string warning;
    try {
        std::locale named("");
    } catch (const std::exception& error) {
        warning = std::string("The system locale is not available (") + error.what() + "), using C.UTF-8";
        setUserLocaleName("C.UTF-8");
        try {
            std::locale named("");
        } catch (const std::exception&) {
            warning += ", which is not available either: using C";
            setUserLocaleName("C");
        }
    }
    std::locale::global(userLocale());
    return warning;
}

std::string setUpProcess() {
    auto localeWarning = setUpLocale();
    boost::filesystem::path::imbue(std::locale());
    // Relative paths (the configuration application, a log folder the system
    // cannot name) then mean the program's own folder.
    std::error_code ignored;
    std::filesystem::current_path(runningExecutablePath().parent_path(), ignored);
    return localeWarning;
}

HelperOptions readOptions(int argc, const char* const argv[]) {
    try {
        return parseHelperOptions(argc, argv);
    } catch (const boost::program_options::error& error) {
        std::cerr << error.what() << std::endl;
        throw;
    }
}

void openHelperLog(const HelperOptions& options) {
    const std::filesystem::path folder = pathFromUtf8(platformServices().logFolder());
    if (!folder.empty()) {
        std::filesystem::create_directories(folder);
    }
    openLog({folder, options.logLevel, options.dbgOutput});
    log(LogLevel::error, "Log initialized, logLevel: ", logLevelName(options.logLevel));
}

// A start that finds an instance running ends silently otherwise: the
// scripts and the user who started it learn why.
void tellAlreadyRunning(unsigned long pid) {
    std::cerr << "obxhelper: already running";
    if (pid != 0) {
        std::cerr << " (pid " << pid << ")";
    }
    std::cerr << "; use --quit to stop it" << std::endl;
}

void migrateWhenNeeded(const HelperParts& parts) {
    std::error_code ignored;
    if (std::filesystem::exists(settingsFilePath(), ignored) ||
        !std::filesystem::exists(legacySettingsFilePath(), ignored)) {
        return;
    }
    try {
        parts.migrateLegacySettings();
    } catch (...) {
        logText(LogLevel::warning, "Error migrating old settings, using default settings..");
    }
}

void runApplication(IAppWindow& window, const HelperParts& parts) {
    migrateWhenNeeded(parts);
    parts.platform.initializeComponentModel();
    programCatalogue().rebuildNamesCache();
    App& app = App::instance();
    // Without its window nothing could end the main loop but the system.
    if (!app.init(window, parts.createHelperCore)) {
        throw std::runtime_error("Error creating the application window");
    }
    app.start();
    window.runMessageLoop();
}

void endApplication(const HelperParts& parts) {
    App::shutdown();
    parts.platform.uninitializeComponentModel();
    destroyProgramCatalogue();
    destroyPlatformServices();
}

} // namespace

int runHelper(int argc, const char* const argv[], const HelperParts& parts) {
    const std::string localeWarning = setUpProcess();
    // Outlives the application object, which uses it to the end.
    std::unique_ptr<IAppWindow> window;
    try {
        const HelperOptions options = readOptions(argc, argv);
        if (options.quit) {
            parts.platform.askRunningInstanceToQuit(quitWait);
            return exitNormal;
        }
        if (options.launchGui) {
            parts.platform.launchConfigurationApp();
            return exitNormal;
        }
        window = parts.platform.claimInstance();
        if (!window) {
            tellAlreadyRunning(parts.platform.runningInstanceId());
            return exitAlreadyRunning;
        }
        const bool desktop = parts.platform.installDesktop();
        openHelperLog(options);
        if (!localeWarning.empty()) {
            logText(LogLevel::warning, localeWarning);
        }
        if (const auto choice = parts.platform.desktopChoice(); !choice.empty()) {
            logText(LogLevel::info, choice);
        }
        if (!desktop) {
            logText(LogLevel::warning,
                    "No desktop display: the helper runs headless and input is only logged");
        }
        runApplication(*window, parts);
    } catch (const std::exception& error) {
        log(LogLevel::error, "Error starting the app, reason: ", error.what());
        endApplication(parts);
        closeLog();
        return exitStartFailed;
    } catch (...) {
        logText(LogLevel::error, "Unknown error while starting the app");
        endApplication(parts);
        closeLog();
        return exitStartFailed;
    }
    App::shutdown();
    parts.platform.uninitializeComponentModel();
    logText(LogLevel::error, "Log deinitialized");
    destroyProgramCatalogue();
    destroyPlatformServices();
    closeLog();
    return exitNormal;
}

} // namespace obx
