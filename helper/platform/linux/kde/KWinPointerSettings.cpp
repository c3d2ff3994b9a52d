#include "platform/linux/kde/KWinPointerSettings.h"

#include "platform/linux/kde/KWinBus.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <stdexcept>

namespace obx::kde {

namespace {

constexpr const char* managerPath = "/org/kde/KWin/InputDevice";
constexpr const char* deviceInterface = "org.kde.KWin.InputDevice";
constexpr std::size_t mostDevices = 64;
// Closer than this is the same value: KWin keeps doubles that went through
// libinput's floats.
constexpr double sameValue = 0.001;

template <typename T>
T property(sd_bus* bus, const std::string& path, const char* interface, const char* name, char type) {
    sd_bus_message* reply = nullptr;
    callKWin(bus, path.c_str(), "org.freedesktop.DBus.Properties", "Get", &reply, "ss", interface, name);
    T value{};
    const char signature[2] = {type, 0};
    int result = sd_bus_message_enter_container(reply, 'v', signature);
    if (result >= 0) {
        if constexpr (std::is_same_v<T, bool>) {
            int flag = 0;
            result = sd_bus_message_read_basic(reply, type, &flag);
            value = flag != 0;
        } else {
            result = sd_bus_message_read_basic(reply, type, &value);
        }
    }
    sd_bus_message_unref(reply);
    if (result < 0) {
        throw std::runtime_error(std::string("KWin answered no ") + name);
    }
    return value;
}

std::vector<std::string> deviceNames(sd_bus* bus) {
    sd_bus_message* reply = nullptr;
    callKWin(bus, managerPath, "org.freedesktop.DBus.Properties", "Get", &reply, "ss",
             "org.kde.KWin.InputDeviceManager", "devicesSysNames");
    std::vector<std::string> names;
    int result = sd_bus_message_enter_container(reply, 'v', "as");
    if (result >= 0) {
        result = sd_bus_message_enter_container(reply, 'a', "s");
    }
    const char* name = nullptr;
    while (result >= 0 && names.size() < mostDevices &&
           (result = sd_bus_message_read(reply, "s", &name)) > 0) {
        names.emplace_back(name);
    }
    sd_bus_message_unref(reply);
    if (result < 0) {
        throw std::runtime_error("KWin answered no list of input devices");
    }
    return names;
}

} // namespace

std::vector<KWinPropertyChange> kwinPointerChanges(const KWinPointerState& now,
                                                   const linuxos::LibinputPointer& wanted) {
    std::vector<KWinPropertyChange> changes;
    if (std::fabs(now.acceleration - wanted.acceleration) > sameValue) {
        changes.push_back({"pointerAcceleration", wanted.acceleration, false, false});
    }
    if (now.adaptive != wanted.adaptive) {
        // KWin keeps the two profiles as two flags; one is set, the other cleared.
        changes.push_back({"pointerAccelerationProfileFlat", 0, !wanted.adaptive, true});
        changes.push_back({"pointerAccelerationProfileAdaptive", 0, wanted.adaptive, true});
    }
    if (std::fabs(now.scrollFactor - wanted.scrollFactor) > sameValue) {
        changes.push_back({"scrollFactor", wanted.scrollFactor, false, false});
    }
    return changes;
}

linuxos::PointerReadback kwinPointerReadback(const KWinPointerState& state) {
    return {linuxos::speedOfAcceleration(state.acceleration),
            linuxos::accelerationRateOfProfile(state.adaptive),
            linuxos::wheelLinesOfScrollFactor(state.scrollFactor), state.naturalScroll};
}

bool plainDeviceName(const std::string& name) {
    return !name.empty() && name.size() <= 64 &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

std::vector<std::string> KWinInputDevices::pointers() {
    std::vector<std::string> paths;
    for (const auto& name : deviceNames(bus_)) {
        if (!plainDeviceName(name)) {
            continue;
        }
        const std::string path = std::string(managerPath) + "/" + name;
        if (property<bool>(bus_, path, deviceInterface, "pointer", 'b') &&
            !property<bool>(bus_, path, deviceInterface, "touchpad", 'b')) {
            paths.push_back(path);
        }
    }
    return paths;
}

KWinPointerState KWinInputDevices::state(const std::string& path) {
    KWinPointerState state;
    state.acceleration = property<double>(bus_, path, deviceInterface, "pointerAcceleration", 'd');
    state.adaptive = property<bool>(bus_, path, deviceInterface, "pointerAccelerationProfileAdaptive", 'b');
    state.scrollFactor = property<double>(bus_, path, deviceInterface, "scrollFactor", 'd');
    state.naturalScroll = property<bool>(bus_, path, deviceInterface, "naturalScroll", 'b');
    return state;
}

void KWinInputDevices::change(const std::string& path, const KWinPropertyChange& change) {
    if (change.isFlag) {
        callKWin(bus_, path.c_str(), "org.freedesktop.DBus.Properties", "Set", nullptr, "ssv",
                 deviceInterface, change.name.c_str(), "b", change.flag ? 1 : 0);
    } else {
        callKWin(bus_, path.c_str(), "org.freedesktop.DBus.Properties", "Set", nullptr, "ssv",
                 deviceInterface, change.name.c_str(), "d", change.number);
    }
}

} // namespace obx::kde
