#include "platform/linux/shell/LinuxShellPlatform.h"

#include "catalogue/ProgramCatalogue.h"
#include "devices/DeviceManager.h"
#include "platform/ProgramPath.h"
#include "platform/headless/HeadlessDesktopQueries.h"
#include "platform/headless/HeadlessPlatformServices.h"
#include "platform/linux/actions/LinuxPlatformServices.h"
#include "platform/linux/actions/Programs.h"
#include "platform/linux/actions/XdgFolders.h"
#include "platform/linux/catalogue/LinuxCataloguePlatform.h"
#include "platform/linux/desktop/SessionProbe.h"
#include "platform/linux/devices/LinuxFileChangeWatch.h"
#include "platform/linux/gnome/ExtensionEnabling.h"
#include "platform/linux/gnome/GnomeDesktopQueries.h"
#include "platform/linux/gnome/GnomePlatformServices.h"
#include "platform/linux/kde/KdeDesktopQueries.h"
#include "platform/linux/kde/KdePlatformServices.h"
#include "platform/linux/shell/LinuxAppWindow.h"
#include "platform/linux/wayland/WlrootsDesktopQueries.h"
#include "platform/linux/wayland/WlrootsPlatformServices.h"
#include "platform/linux/x11/X11DesktopQueries.h"
#include "server/CommandServer.h"
#include "shell/ConfigurationPage.h"

#include <X11/Xlib.h>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace obx {

std::unique_ptr<ShellPlatform> makeShellPlatform() {
    return std::make_unique<linuxos::LinuxShellPlatform>();
}

namespace linuxos {

bool desktopDisplayAvailable() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        return false;
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        return false;
    }
    XCloseDisplay(display);
    return true;
}

void LinuxShellPlatform::askRunningInstanceToQuit(std::chrono::milliseconds timeout) {
    requestQuit(currentInstanceSocketPath(), timeout);
}

void LinuxShellPlatform::launchConfigurationApp() {
    const auto folder = runningExecutablePath().parent_path();
    const auto program = folder / "Quellane2";
    if (::access(program.c_str(), X_OK) != 0) {
        const char* home = std::getenv("HOME");
        x11::startDetached({"xdg-open", configurationPageAddress(commandServerPort())}, home ? home : "/");
        return;
    }
    x11::startDetached({program.string()}, folder.string());
}

std::unique_ptr<IAppWindow> LinuxShellPlatform::claimInstance() {
    auto instance = InstanceListener::claim(currentInstanceSocketPath());
    if (!instance) {
        return nullptr;
    }
    return std::make_unique<LinuxAppWindow>(std::move(instance), [this] { launchConfigurationApp(); });
}

unsigned long LinuxShellPlatform::runningInstanceId() {
    return static_cast<unsigned long>(InstanceListener::holder(currentInstanceSocketPath()));
}

bool LinuxShellPlatform::installDesktop() {
    const auto facts = probeSession();
    const auto choice = chooseDesktopBridge(facts);
    desktopChoice_ = std::string("Desktop bridge: ") + bridgeName(choice.bridge) + " - " + choice.reason;
    switch (choice.bridge) {
    case DesktopBridge::x11:
        installX11();
        return true;
    case DesktopBridge::wlroots:
        installWlroots(facts.waylandDisplay);
        return true;
    case DesktopBridge::gnome:
        installGnome();
        return true;
    case DesktopBridge::kde:
        installKde();
        return true;
    case DesktopBridge::headless:
        break;
    }
    installHeadless();
    return false;
}

void LinuxShellPlatform::installX11() {
    setPlatformServicesFactory([] { return std::make_unique<x11::LinuxPlatformServices>(); });
    setDeviceLayerPlatformFactory(
        [] { return makeLinuxDeviceLayerPlatform(std::make_unique<x11::X11DesktopQueries>()); });
    setProgramCatalogueFactory([] {
        return std::make_unique<ProgramCatalogue>(
            std::make_unique<LinuxCataloguePlatform>(LinuxCataloguePlatform::Options{}));
    });
}

void LinuxShellPlatform::installWlroots(const std::string& waylandDisplay) {
    // One connection serves the platform services and the device layer; it
    // is made at first use, once the log is open, and lasts as long as the
    // process, across the helper core's rebuilds.
    struct SharedToplevels {
        std::mutex mutex;
        std::string display;
        std::shared_ptr<wayland::ForeignToplevels> toplevels;

        std::shared_ptr<wayland::ForeignToplevels> get() {
            const std::lock_guard lock(mutex);
            if (!toplevels) {
                toplevels = std::make_shared<wayland::ForeignToplevels>(display);
            }
            return toplevels;
        }
    };
    auto shared = std::make_shared<SharedToplevels>();
    shared->display = waylandDisplay;
    setPlatformServicesFactory([shared] {
        return std::make_unique<wayland::WlrootsPlatformServices>(
            shared->get(), x11::helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    });
    setDeviceLayerPlatformFactory([shared] {
        const char* home = std::getenv("HOME");
        wayland::WlrootsDesktopQueries::Options options{"/proc", home ? home : "", {}};
        return makeLinuxDeviceLayerPlatform(
            std::make_unique<wayland::WlrootsDesktopQueries>(shared->get(), std::move(options)));
    });
    setProgramCatalogueFactory([] {
        return std::make_unique<ProgramCatalogue>(
            std::make_unique<LinuxCataloguePlatform>(LinuxCataloguePlatform::Options{}));
    });
}

void LinuxShellPlatform::installGnome() {
    // The focus watch lasts as long as the process, across the helper core's
    // rebuilds; it starts at first use, once the log is open, which is also
    // when the extension is enabled for the user.
    struct SharedFocus {
        std::once_flag made;
        std::shared_ptr<gnome::ShellFocusWatch> watch;

        std::shared_ptr<gnome::ShellFocusWatch> get() {
            std::call_once(made, [this] {
                gnome::enableShellExtension(
                    x11::helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
                watch = std::make_shared<gnome::ShellFocusWatch>();
            });
            return watch;
        }
    };
    auto shared = std::make_shared<SharedFocus>();
    setPlatformServicesFactory([] {
        return std::make_unique<gnome::GnomePlatformServices>(
            x11::helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    });
    setDeviceLayerPlatformFactory([shared] {
        const char* home = std::getenv("HOME");
        return makeLinuxDeviceLayerPlatform(std::make_unique<gnome::GnomeDesktopQueries>(
            shared->get(), gnome::GnomeDesktopQueries::Options{"/proc", home ? home : ""}));
    });
    setProgramCatalogueFactory([] {
        return std::make_unique<ProgramCatalogue>(
            std::make_unique<LinuxCataloguePlatform>(LinuxCataloguePlatform::Options{}));
    });
}

void LinuxShellPlatform::installKde() {
    // One focus follower serves the device layer for the life of the
    // process: made at first use, once the log is open, it loads its KWin
    // script then and unloads it at the end.
    struct SharedActiveWindow {
        std::mutex mutex;
        std::shared_ptr<kde::KWinActiveWindow> windows;

        std::shared_ptr<kde::KWinActiveWindow> get() {
            const std::lock_guard lock(mutex);
            if (!windows) {
                windows = std::make_shared<kde::KWinActiveWindow>(kde::kwinScriptFolder());
            }
            return windows;
        }
    };
    auto shared = std::make_shared<SharedActiveWindow>();
    setPlatformServicesFactory([] {
        return std::make_unique<kde::KdePlatformServices>(
            kde::kwinScriptFolder(),
            x11::helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    });
    setDeviceLayerPlatformFactory([shared] {
        const char* home = std::getenv("HOME");
        return makeLinuxDeviceLayerPlatform(
            std::make_unique<kde::KdeDesktopQueries>(shared->get(), "/proc", home ? home : ""));
    });
    setProgramCatalogueFactory([] {
        return std::make_unique<ProgramCatalogue>(
            std::make_unique<LinuxCataloguePlatform>(LinuxCataloguePlatform::Options{}));
    });
}

void LinuxShellPlatform::installHeadless() {
    setDeviceLayerPlatformFactory(
        [] { return makeLinuxDeviceLayerPlatform(std::make_unique<HeadlessDesktopQueries>()); });
    // The same folder as on a desktop, so settings and log do not move when
    // the display comes and goes.
    setPlatformServicesFactory([] {
        return std::make_unique<HeadlessPlatformServices>(
            x11::helperDataFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));
    });
}

} // namespace linuxos

} // namespace obx
