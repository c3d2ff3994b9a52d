#include "catalogue/ProgramCatalogue.h"

#include "actions/LowerCase.h"
#include "base/Log.h"

#include <algorithm>
#include <limits>

namespace obx {

namespace {

class EndList {
public:
    explicit EndList(ICataloguePlatform& platform) : platform_(platform) { platform_.beginList(); }
    ~EndList() { platform_.endList(); }
    EndList(const EndList&) = delete;
    EndList& operator=(const EndList&) = delete;

private:
    ICataloguePlatform& platform_;
};

// A system without a desktop: no windows, no launchers.
class NoPrograms : public ICataloguePlatform {
public:
    const ProgramRules& rules() const override { return linuxPrograms; }
    void visitWindowPrograms(const std::function<bool(const std::string&)>&) override {}
    std::vector<LauncherFolder> listFolders() override { return {}; }
    std::vector<LauncherFolder> nameFolders() override { return {}; }
    std::vector<std::string> launchers(const LauncherFolder&) override { return {}; }
    std::optional<Launcher> resolveLauncher(const std::string&) override { return std::nullopt; }
    IconSource programIcon(const std::string& program) override { return {program, 0}; }
    std::string iconBase64(const IconSource&) override { return {}; }
    std::optional<std::int64_t> now() override { return std::nullopt; }
};

constexpr auto unlimited = std::numeric_limits<std::size_t>::max();

} // namespace

ProgramCatalogue::ProgramCatalogue(std::unique_ptr<ICataloguePlatform> platform)
    : platform_(std::move(platform)), rules_(platform_->rules()), names_(rules_) {}

bool ProgramCatalogue::offered(const std::string& loweredProgram,
                               const std::set<std::string>& excluded) const {
    return !rules_.excluded(loweredProgram) && !excluded.contains(loweredProgram);
}

void ProgramCatalogue::rebuildNamesCache() {
    logText(LogLevel::debug, "Rebuilding program names cache...");
    ApplicationSet records;
    for (const auto& folder : platform_->nameFolders()) {
        addLaunchers(folder, records, {}, unlimited, true);
    }
    names_.replace(records, platform_->now().value_or(0));
}

nlohmann::json ProgramCatalogue::listApplications(int maxCount, const std::set<std::string>& excludedNames) {
    const EndList scope(*platform_);
    const auto wanted = static_cast<std::size_t>(std::max(maxCount, 1));
    if (const auto now = platform_->now(); now && names_.stale(*now)) {
        rebuildNamesCache();
    }
    std::set<std::string> excluded;
    for (const auto& name : excludedNames) {
        excluded.insert(lowerCase(name));
    }
    ApplicationSet records;
    addOpenWindows(records, excluded, wanted);
    for (const auto& folder : platform_->listFolders()) {
        if (records.size() >= wanted) {
            break;
        }
        addLaunchers(folder, records, excluded, wanted, false);
    }
    records.rename([this](const std::string& program) { return names_.lookupProgramName(program); });
    return records.toJson();
}

void ProgramCatalogue::addOpenWindows(ApplicationSet& records, const std::set<std::string>& excluded,
                                      std::size_t maxCount) {
    platform_->visitWindowPrograms([&](const std::string& program) {
        if (offered(lowerCase(program), excluded)) {
            ApplicationRecord record{program, names_.lookupProgramName(program),
                                     platform_->iconBase64(platform_->programIcon(program))};
            if (!record.icon.empty()) {
                log(LogLevel::debug, "Inserting active process ", program);
                records.add(std::move(record));
            }
        }
        return records.size() < maxCount;
    });
}

void ProgramCatalogue::addLaunchers(const LauncherFolder& folder, ApplicationSet& records,
                                    const std::set<std::string>& excluded, std::size_t maxCount,
                                    bool namesOnly) {
    std::size_t count = records.size();
    for (const auto& file : platform_->launchers(folder)) {
        if (count >= maxCount) {
            break;
        }
        auto launcher = platform_->resolveLauncher(file);
        if (!launcher) {
            continue;
        }
        const auto lowered = lowerCase(launcher->program);
        if (!rules_.launchable(lowered) || !offered(lowered, excluded)) {
            continue;
        }
        ApplicationRecord record{std::move(launcher->program), std::move(launcher->name), {}};
        if (!namesOnly) {
            record.icon = platform_->iconBase64(launcher->icon);
        }
        if (namesOnly || !record.icon.empty()) {
            records.add(std::move(record));
        }
        // Every kept launcher counts, whether it gave a record or not.
        ++count;
    }
}

namespace {

ProgramCatalogueFactory& installedFactory() {
    static ProgramCatalogueFactory factory;
    return factory;
}

std::unique_ptr<ProgramCatalogue>& instance() {
    static std::unique_ptr<ProgramCatalogue> catalogue;
    return catalogue;
}

} // namespace

ProgramCatalogue& programCatalogue() {
    auto& catalogue = instance();
    if (!catalogue) {
        const auto& factory = installedFactory();
        catalogue = factory ? factory() : std::make_unique<ProgramCatalogue>(std::make_unique<NoPrograms>());
    }
    return *catalogue;
}

void setProgramCatalogueFactory(ProgramCatalogueFactory factory) {
    installedFactory() = std::move(factory);
}

void destroyProgramCatalogue() {
    instance().reset();
}

} // namespace obx
