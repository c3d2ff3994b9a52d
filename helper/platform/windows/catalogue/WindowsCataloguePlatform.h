#pragma once

// The program catalogue on the Windows desktop: the programs of the open
// application windows, the shortcuts of the desktop and of the user's and the
// common Start Menu, and icons encoded by GDI+.

#include "catalogue/CataloguePlatform.h"
#include "platform/windows/catalogue/CatalogueFiles.h"
#include "platform/windows/catalogue/ProgramIcon.h"

#include <optional>

namespace obx::windows {

// Shortcuts are read, not resolved, and a target or icon that is not on a
// local drive (CatalogueFiles.h) is never opened: a shortcut to the network
// is left out, and one whose icon is there shows its program's icon.
class WindowsCataloguePlatform : public ICataloguePlatform {
public:
    explicit WindowsCataloguePlatform(const CatalogueFiles& files = CatalogueFiles::system())
        : files_(files) {}

    const ProgramRules& rules() const override { return windowsPrograms; }
    // Initialises COM for the calling thread and starts GDI+ for the list.
    void beginList() override;
    void endList() noexcept override;
    void visitWindowPrograms(const std::function<bool(const std::string& program)>& visit) override;
    // The desktop, the user's Start Menu programs (top level, then all), the
    // common Start Menu (top level, then all); those the system cannot name
    // are left out.
    std::vector<LauncherFolder> listFolders() override;
    // The user's Start Menu programs before the common Start Menu, so that a
    // user's own shortcut names a program.
    std::vector<LauncherFolder> nameFolders() override;
    std::vector<std::string> launchers(const LauncherFolder& folder) override;
    std::optional<Launcher> resolveLauncher(const std::string& file) override;
    IconSource programIcon(const std::string& program) override { return {program, 0}; }
    std::string iconBase64(const IconSource& source) override;
    std::optional<std::int64_t> now() override;

private:
    const CatalogueFiles& files_;
    bool comInitialized_ = false;
    std::optional<GdiplusSession> gdiplus_;
};

} // namespace obx::windows
