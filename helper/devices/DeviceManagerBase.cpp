#include "devices/DeviceManagerBase.h"

#include "actions/JsonReaders.h"
#include "actions/LowerCase.h"
#include "actions/Modifiers.h"
#include "base/Log.h"
#include "driver/shared/ObxControl.h"
#include "settings/ProfileRequests.h"
#include "settings/Settings.h"

#include <chrono>
#include <cstdio>

namespace obx {

using nlohmann::json;

namespace {

// Holds the manager's lock, whichever lock the manager uses, for one operation.
class OperationLock {
public:
    explicit OperationLock(IObxDeviceManager& manager) : manager_(manager) { manager_.lock(); }
    ~OperationLock() { manager_.unlock(); }
    OperationLock(const OperationLock&) = delete;
    OperationLock& operator=(const OperationLock&) = delete;

private:
    IObxDeviceManager& manager_;
};

// A present member read as T, integers clamped to T's range; absent gives
// nothing. The library's error for a value of the wrong type.
template <typename T>
std::optional<T> member(const json::object_t& body, const char* key) {
    auto found = body.find(key);
    if (found == body.end()) {
        return std::nullopt;
    }
    if constexpr (std::is_same_v<T, std::int32_t>) {
        return clampedInt<T>(found->second);
    } else {
        return found->second.get<T>();
    }
}

std::optional<std::uint32_t> modifiersMember(const json::object_t& body, const char* key) {
    if (auto text = member<std::string>(body, key)) {
        return modifiersFromString(*text);
    }
    return std::nullopt;
}

template <typename T>
void assignIfPresent(T& field, const std::optional<T>& value) {
    if (value) {
        field = *value;
    }
}

std::string appText(const AppId& app) {
    return app.value_or("");
}

// "%Y-%m-%dT%H-%M-%S.000Z" in the proleptic calendar, so that times before
// 1970 have a text too.
std::string utcText(std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d-%02d-%02d.000Z", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

const char* interfaceName(DeviceInterfaceKind kind) {
    switch (kind) {
    case DeviceInterfaceKind::usb:
        return "usb";
    case DeviceInterfaceKind::bluetooth:
        return "bluetooth";
    default:
        return "unknown";
    }
}

// A copy of every value of the profile that the settings file keeps.
auto storedCopy(const ApplicationConfig& profile) {
    return std::apply([](const auto&... field) { return std::make_tuple(field...); }, profile.storedFields());
}

ApplicationConfig& profileOf(DeviceConfig& config) {
    if (config.owner() == nullptr) {
        throw std::runtime_error("Application profile does not exist");
    }
    return *config.owner();
}

void appendListed(std::string& list, const std::string& item) {
    if (!list.empty()) {
        list += ',';
    }
    list += item;
}

} // namespace

DeviceManagerBase::DeviceManagerBase() = default;
DeviceManagerBase::~DeviceManagerBase() = default;

void DeviceManagerBase::lock() {
    mutex_.lock();
}

void DeviceManagerBase::unlock() {
    mutex_.unlock();
}

void DeviceManagerBase::useSettings(std::unique_ptr<Settings> settings) {
    settings_ = std::move(settings);
}

Settings& DeviceManagerBase::currentSettings() const {
    if (!settings_) {
        throw std::runtime_error("Settings are not loaded");
    }
    return *settings_;
}

AppId DeviceManagerBase::activeIdentifier(const IObxDevice& device) const {
    auto entry = settings_->devices.find(device.getId());
    if (entry == settings_->devices.end()) {
        return std::nullopt;
    }
    for (auto& [identifier, profile] : entry->second) {
        if (&profile.config == device.getConfig()) {
            return identifier;
        }
    }
    return std::nullopt;
}

template <typename Take, typename Change>
void DeviceManagerBase::countedChange(Take take, Change change) {
    // Looked at on every way out: a change that fails part-way (the save, a
    // member of a body) may have changed the settings in memory all the same.
    class Count {
    public:
        Count(std::uint64_t& revision, Take& take) : revision_(revision), take_(take), before_(take()) {}
        ~Count() {
            if (take_() != before_) {
                ++revision_;
            }
        }
        Count(const Count&) = delete;
        Count& operator=(const Count&) = delete;

    private:
        std::uint64_t& revision_;
        Take& take_;
        decltype(std::declval<Take&>()()) before_;
    } count(revision_, take);
    change();
}

template <typename Change>
void DeviceManagerBase::changeProfile(DeviceConfig& config, Change change) {
    auto& profile = profileOf(config);
    countedChange([&] { return storedCopy(profile); },
                  [&] {
                      change(profile);
                      currentSettings().save();
                  });
}

std::vector<IObxDevice*> DeviceManagerBase::devicesShowing(const DeviceConfig& changed) const {
    std::vector<IObxDevice*> result;
    for (auto& present : devices_) {
        if (present->getConfig() == &changed) {
            result.push_back(present.get());
        }
    }
    return result;
}

json DeviceManagerBase::getSettings() {
    OperationLock guard(*this);
    return currentSettings().toJson();
}

void DeviceManagerBase::setSettings(const json& body) {
    OperationLock guard(*this);
    currentSettings();
    auto next = std::make_unique<Settings>();
    next->fromJson(body);
    // A file read at start is tolerated entry by entry; an import is the
    // client's to fix, so a refused action refuses it whole.
    for (const auto& [device, profiles] : next->devices) {
        for (const auto& [identifier, profile] : profiles) {
            profile.config.requireAcceptedActions();
        }
    }
    // Everything that can fail to read happens before the new settings are in
    // use, so a refused body leaves settings and devices as they were. Each
    // device keeps the profile it had, by identifier.
    std::vector<DeviceMove> moves;
    for (auto& present : devices_) {
        next->ensureDevice(present->getId());
        moves.push_back(
            {present.get(), &next->findConfig(activeIdentifier(*present), present->getId(), true)});
    }
    // Accepted settings are used and saved even when a device cannot apply
    // them; the client is then told of that device's failure.
    const auto failure = moveDevices(moves);
    useSettings(std::move(next));
    ++revision_;
    settings_->save();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::exception_ptr DeviceManagerBase::moveDevices(std::span<const DeviceMove> moves) {
    std::exception_ptr firstFailure;
    for (const auto& move : moves) {
        try {
            move.device->setConfig(move.config, true);
        } catch (const std::exception& error) {
            log(LogLevel::error, "Error applying settings to device ", move.device->getRealId(),
                ", reason: ", error.what());
            if (!firstFailure) {
                firstFailure = std::current_exception();
            }
        }
    }
    return firstFailure;
}

json DeviceManagerBase::getGeneralConfig() {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    return {{"timeStamp", utcText(settings.timestamp)}, {"trayIcon", settings.trayIcon}};
}

void DeviceManagerBase::setGeneralConfig(const json& body) {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    auto trayIcon = member<bool>(body.get_ref<const json::object_t&>(), "trayIcon");
    if (trayIcon && *trayIcon != settings.trayIcon) {
        settings.trayIcon = *trayIcon;
        ++revision_;
        settings.save();
    }
}

json DeviceManagerBase::getDevices() {
    OperationLock guard(*this);
    json list = json::array();
    for (auto id : currentSettings().deviceIds()) {
        std::string realIds;
        std::string interfaces;
        const IObxDevice* last = nullptr;
        for (auto& present : devices_) {
            if (present->getId() == id) {
                appendListed(realIds, std::to_string(present->getRealId()));
                appendListed(interfaces, interfaceName(present->getInterface()));
                last = present.get();
            }
        }
        list.push_back({{"id", id},
                        {"realId", realIds},
                        {"interface", interfaces},
                        {"name", last ? last->getName() : ""},
                        {"version", last ? last->getFirmwareVersion() : 0},
                        {"present", last != nullptr}});
    }
    return {{"devices", std::move(list)}};
}

json DeviceManagerBase::getDeviceCapabilities(std::uint16_t device) {
    OperationLock guard(*this);
    std::uint16_t capabilities = 0;
    for (auto& present : devices_) {
        if (present->getId() == device) {
            capabilities = present->getCapabilities();
            break;
        }
    }
    return {{"buttons", capabilities & OBX_CAPABILITY_BUTTONS_MASK},
            {"wheel", (capabilities & OBX_CAPABILITY_WHEEL) != 0},
            {"pan", (capabilities & OBX_CAPABILITY_PAN) != 0}};
}

json DeviceManagerBase::getApps(std::uint16_t device) {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    json apps = json::array();
    for (auto& identifier : settings.appIdentifiers(device)) {
        apps.push_back({{identifier, settings.appName(device, identifier)}});
    }
    return {{"apps", std::move(apps)}};
}

void DeviceManagerBase::createApp(std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    const auto identifier = body.at("identifier").get<std::string>();
    const auto name = body.at("name").get<std::string>();
    const auto origin = profileOriginFromRequest(body);
    countedChange([&] { return settings.appIdentifiers(device); },
                  [&] { settings.createApp(device, name, identifier, origin); });
}

void DeviceManagerBase::deleteApp(std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    const auto identifier = body.at("identifier").get<std::string>();
    if (identifier == globalProfileId) {
        throw std::runtime_error("Global app profile cannot be deleted");
    }
    // Its devices move to the global profile before the profile goes, each
    // one also when another fails, so that none is left on the erased
    // configuration.
    std::vector<DeviceMove> orphaned;
    const auto lowered = lowerCase(identifier);
    if (auto entry = settings.devices.find(device); entry != settings.devices.end()) {
        if (auto profile = entry->second.find(lowered); profile != entry->second.end()) {
            auto& global = settings.findConfig(std::string(globalProfileId), device, false);
            for (auto& present : devices_) {
                if (present->getConfig() == &profile->second.config) {
                    orphaned.push_back({present.get(), &global});
                }
            }
        }
    }
    const auto failure = moveDevices(orphaned);
    countedChange([&] { return settings.appIdentifiers(device); },
                  [&] { settings.deleteApp(device, identifier); });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

json DeviceManagerBase::getPointerConfig(const AppId& app, std::uint16_t device) {
    OperationLock guard(*this);
    const auto& config = currentSettings().findConfig(app, device, false);
    return {{"speed", config.speed},
            {"acceleration", config.acceleration},
            {"accelerationRate", config.accelerationRate},
            {"slowModifiers", modifiersToString(config.slowModifiers)},
            {"lockedAxisModifiers", modifiersToString(config.snapModifiers)}};
}

void DeviceManagerBase::setPointerConfig(const AppId& app, std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::setPointerConfig -", " app: ", appText(app),
        ", device: ", device, ", config: ", body);
    auto& settings = currentSettings();
    auto& config = settings.findConfig(app, device, false);
    // The whole body is read before anything changes: a refused request
    // leaves no half-applied change behind for a later save.
    const auto& fields = body.get_ref<const json::object_t&>();
    const auto speed = member<std::int32_t>(fields, "speed");
    const auto acceleration = member<bool>(fields, "acceleration");
    const auto accelerationRate = member<std::int32_t>(fields, "accelerationRate");
    const auto slowModifiers = modifiersMember(fields, "slowModifiers");
    const auto snapModifiers = modifiersMember(fields, "lockedAxisModifiers");
    changeProfile(config, [&](ApplicationConfig&) {
        assignIfPresent(config.speed, speed);
        assignIfPresent(config.acceleration, acceleration);
        assignIfPresent(config.accelerationRate, accelerationRate);
        assignIfPresent(config.slowModifiers, slowModifiers);
        assignIfPresent(config.snapModifiers, snapModifiers);
    });
    for (auto* present : devicesShowing(config)) {
        present->applyPointerConfig();
    }
}

json DeviceManagerBase::getScrollWheelConfig(const AppId& app, std::uint16_t device) {
    OperationLock guard(*this);
    const auto& config = currentSettings().findConfig(app, device, false);
    return {{"wheel", "vert"},
            {"speed", config.scrollLines},
            {"invert", config.scrollInvert},
            {"inertial", config.inertialScroll}};
}

void DeviceManagerBase::setScrollWheelConfig(const AppId& app, std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::setScrollWheelConfig -", " app: ", appText(app),
        ", device: ", device, ", config: ", body);
    auto& settings = currentSettings();
    auto& config = settings.findConfig(app, device, false);
    const auto& fields = body.get_ref<const json::object_t&>();
    auto lines = member<std::int32_t>(fields, "speed");
    const auto invert = member<bool>(fields, "invert");
    const auto inertial = member<bool>(fields, "inertial");
    if (lines == 0) {
        lines = 1;
    }
    changeProfile(config, [&](ApplicationConfig&) {
        assignIfPresent(config.scrollLines, lines);
        assignIfPresent(config.scrollInvert, invert);
        assignIfPresent(config.inertialScroll, inertial);
    });
    for (auto* present : devicesShowing(config)) {
        log(LogLevel::debug, "Updating scroll params of real device id: ", present->getRealId());
        present->applyPointerConfig();
        present->applyScrollConfig();
    }
}

json DeviceManagerBase::getButtonAction(const AppId& app, std::uint16_t device, std::uint32_t buttonMask) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::getButtonAction -", " app: ", appText(app), ", device: ", device,
        ", buttonMask: ", buttonMask);
    return currentSettings().findConfig(app, device, false).getButtonAction(buttonMask);
}

void DeviceManagerBase::setButtonAction(const AppId& app, std::uint16_t device, std::uint32_t buttonMask,
                                        const json& value) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::setButtonAction -", " app: ", appText(app), ", device: ", device,
        ", buttonMask: ", buttonMask, ", action: ", value);
    auto& settings = currentSettings();
    auto& config = settings.findConfig(app, device, false);
    changeProfile(config, [&](ApplicationConfig&) { config.setButtonAction(buttonMask, value); });
    for (auto* present : devicesShowing(config)) {
        present->applyButtonConfig();
    }
}

json DeviceManagerBase::getSnippets(const AppId& app, std::uint16_t device) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::getSnippets -", " app: ", appText(app), ", device: ", device);
    json list = json::array();
    for (auto& snippet : currentSettings().findConfig(app, device, false).snippets()) {
        list.push_back(snippetToJson(snippet));
    }
    return list;
}

void DeviceManagerBase::setSnippets(const AppId& app, std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    log(LogLevel::debug, "DeviceManagerBase::setSnippets -", " app: ", appText(app), ", device: ", device);
    auto& settings = currentSettings();
    auto& config = settings.findConfig(app, device, false);
    const auto slots = snippetSlotsFromRequest(body);
    changeProfile(config, [&](ApplicationConfig&) { config.setSnippets(slots); });
}

void DeviceManagerBase::renameApp(const AppId& app, std::uint16_t device, const json& body) {
    OperationLock guard(*this);
    auto& settings = currentSettings();
    auto& config = settings.findConfig(app, device, false);
    const auto name = profileNameFromRequest(body);
    log(LogLevel::debug, "DeviceManagerBase::renameApp -", " app: ", appText(app), ", device: ", device,
        ", name: ", name);
    changeProfile(config, [&](ApplicationConfig& profile) { profile.name = name; });
}

std::uint64_t DeviceManagerBase::settingsRevision() {
    OperationLock guard(*this);
    return revision_;
}

void DeviceManagerBase::startLearning(std::uint16_t, std::chrono::seconds) {
    throw std::runtime_error("Learning buttons needs the device worker");
}

void DeviceManagerBase::stopLearning(std::uint16_t) {
    // Nothing can be learning without the worker.
}

void DeviceManagerBase::setTrayIcon(bool show) {
    OperationLock guard(*this);
    currentSettings().trayIcon = show;
}

bool DeviceManagerBase::getTrayIcon() {
    OperationLock guard(*this);
    return currentSettings().trayIcon;
}

} // namespace obx
