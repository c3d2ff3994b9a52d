#pragma once

// The programs offered for new profiles: those of the open windows first,
// then those that launchers on the desktop and in the menus lead to, each
// with its display name and icon, leaving out programs that have a profile.

#include "catalogue/CataloguePlatform.h"
#include "catalogue/ProgramNamesCache.h"

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

namespace obx {

class ProgramCatalogue {
public:
    explicit ProgramCatalogue(std::unique_ptr<ICataloguePlatform> platform);

    // At most maxCount records (at least one) as the JSON array of
    // {"program", "name", "icon"}; excludedNames: the identifiers of the
    // profiles that exist (compared lower-cased).
    nlohmann::json listApplications(int maxCount, const std::set<std::string>& excludedNames);
    void rebuildNamesCache();
    std::string lookupProgramName(const std::string& path) const { return names_.lookupProgramName(path); }

private:
    void addOpenWindows(ApplicationSet& records, const std::set<std::string>& excluded, std::size_t maxCount);
    // Adds what the launchers lead to; stops after maxCount kept launchers,
    // counting the records already there. namesOnly: no icons (and none
    // needed).
    void addLaunchers(const LauncherFolder& folder, ApplicationSet& records,
                      const std::set<std::string>& excluded, std::size_t maxCount, bool namesOnly);
    bool offered(const std::string& loweredProgram, const std::set<std::string>& excluded) const;

    std::unique_ptr<ICataloguePlatform> platform_;
    const ProgramRules& rules_;
    ProgramNamesCache names_;
};

using ProgramCatalogueFactory = std::function<std::unique_ptr<ProgramCatalogue>()>;

// The process-wide catalogue, created on first use by the installed factory;
// without one, a catalogue of a system that offers no programs.
ProgramCatalogue& programCatalogue();
// Takes effect at the next creation.
void setProgramCatalogueFactory(ProgramCatalogueFactory factory);
void destroyProgramCatalogue();

} // namespace obx
