#pragma once

// The user's desktop as the service reaches it on Linux: whether the
// configuration utility is installed, the start of the popup, the opening
// of the product page and the user's display language.

#include "service/NotifySequence.h"
#include "service/ProductPage.h"

#include <filesystem>
#include <optional>
#include <string>

namespace obx::linuxos {

// Installed when the program Quellane2 is found through PATH or beside this
// program, or when a desktop entry Quellane2.desktop is in the applications
// folder of $XDG_DATA_HOME or of any folder of $XDG_DATA_DIRS.
class InstalledCheck : public ProductCheck {
public:
    explicit InstalledCheck(std::filesystem::path programFolder) : programFolder_(std::move(programFolder)) {}
    bool installed() override;

private:
    std::filesystem::path programFolder_;
};

// The user service already runs in the user's session: the popup is this
// program again, detached, once the session has a bus to show it on.
class SessionPopupStarter : public PopupStarter {
public:
    SessionPopupStarter(std::filesystem::path program, ServiceLog& log)
        : program_(std::move(program)), log_(log) {}
    bool start() override;

private:
    std::filesystem::path program_;
    ServiceLog& log_;
};

// xdg-open, detached.
class XdgPageOpener : public PageOpener {
public:
    int open(const char* address) override;
};

// A POSIX locale name as a display-language name: "de_DE.UTF-8@euro" becomes
// "de-DE". Empty stays empty.
std::string displayLanguageName(std::string_view locale);

// The display language the user's messages would use: the first entry of
// LANGUAGE, else LC_ALL, LC_MESSAGES or LANG, the first one set and not
// empty; empty when none is.
std::optional<std::string> preferredDisplayLanguage();

} // namespace obx::linuxos
