// The KDE bridge's pointer settings against a stand-in for KWin's input-device
// objects on a private bus: KWin's virtual backend has no input devices, so
// this is where writing and reading them is shown.

#include "platform/linux/kde/KdePlatformServices.h"
#include "support/PrivateBus.h"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace obx::test {
namespace {

// A device's properties by name (flags as 0 and 1), and how many were written.
struct FakeDevice {
    std::map<std::string, double, std::less<>> properties;
    int writes = 0;
};

FakeDevice pointerDevice(bool touchpad, double acceleration, bool adaptive, double scrollFactor,
                         bool natural) {
    return {{{"pointer", 1},
             {"touchpad", touchpad},
             {"pointerAcceleration", acceleration},
             {"pointerAccelerationProfileFlat", !adaptive},
             {"pointerAccelerationProfileAdaptive", adaptive},
             {"scrollFactor", scrollFactor},
             {"naturalScroll", natural}}};
}

// org.kde.KWin on its own connection, served by a thread: the device manager
// and one object per device that has one.
class FakeKWinDevices {
public:
    FakeKWinDevices(const std::string& address, std::vector<std::string> names,
                    std::map<std::string, FakeDevice> devices)
        : names_(std::move(names)), devices_(std::move(devices)) {
        sd_bus_new(&bus_);
        sd_bus_set_address(bus_, address.c_str());
        sd_bus_set_bus_client(bus_, 1);
        if (sd_bus_start(bus_) < 0) {
            throw std::runtime_error("cannot connect the stand-in for KWin");
        }
        sd_bus_add_object_vtable(bus_, nullptr, "/org/kde/KWin/InputDevice",
                                 "org.kde.KWin.InputDeviceManager", managerVtable, this);
        for (auto& [name, device] : devices_) {
            sd_bus_add_object_vtable(bus_, nullptr, ("/org/kde/KWin/InputDevice/" + name).c_str(),
                                     "org.kde.KWin.InputDevice", deviceVtable, &device);
        }
        sd_bus_request_name(bus_, "org.kde.KWin", 0);
        thread_ = std::thread([this] {
            while (!stopping_) {
                while (sd_bus_process(bus_, nullptr) > 0) {
                }
                sd_bus_wait(bus_, 50'000);
            }
        });
    }
    ~FakeKWinDevices() {
        stopping_ = true;
        thread_.join();
        sd_bus_flush_close_unref(bus_);
    }

    // Read once the services' calls have returned: the thread answered them.
    double value(const std::string& device, const char* property) const {
        return devices_.at(device).properties.at(property);
    }
    int writes(const std::string& device) const { return devices_.at(device).writes; }

private:
    static int names(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* data,
                     sd_bus_error*) {
        const auto& self = *static_cast<FakeKWinDevices*>(data);
        int result = sd_bus_message_open_container(reply, 'a', "s");
        for (const auto& name : self.names_) {
            result = result < 0 ? result : sd_bus_message_append(reply, "s", name.c_str());
        }
        return result < 0 ? result : sd_bus_message_close_container(reply);
    }

    static double& property(void* data, const char* name) {
        auto& properties = static_cast<FakeDevice*>(data)->properties;
        return properties.try_emplace(name, 0.0).first->second;
    }

    static int getFlag(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply, void* data,
                       sd_bus_error*) {
        return sd_bus_message_append(reply, "b", property(data, name) != 0 ? 1 : 0);
    }

    static int getNumber(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply,
                         void* data, sd_bus_error*) {
        return sd_bus_message_append(reply, "d", property(data, name));
    }

    static int set(sd_bus*, const char*, const char*, const char* name, sd_bus_message* value, void* data,
                   sd_bus_error*) {
        char type = 0;
        sd_bus_message_peek_type(value, &type, nullptr);
        int flag = 0;
        double number = 0;
        const int result =
            type == 'b' ? sd_bus_message_read(value, "b", &flag) : sd_bus_message_read(value, "d", &number);
        property(data, name) = type == 'b' ? flag : number;
        ++static_cast<FakeDevice*>(data)->writes;
        return result;
    }

    static constexpr sd_bus_vtable managerVtable[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_PROPERTY("devicesSysNames", "as", &FakeKWinDevices::names, 0, 0),
        SD_BUS_VTABLE_END};
    static constexpr sd_bus_vtable deviceVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("pointer", "b", &getFlag, 0, 0),
        SD_BUS_PROPERTY("touchpad", "b", &getFlag, 0, 0),
        SD_BUS_PROPERTY("naturalScroll", "b", &getFlag, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAccelerationProfileFlat", "b", &getFlag, &set, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAccelerationProfileAdaptive", "b", &getFlag, &set, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAcceleration", "d", &getNumber, &set, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("scrollFactor", "d", &getNumber, &set, 0, 0),
        SD_BUS_VTABLE_END};

    std::vector<std::string> names_;
    std::map<std::string, FakeDevice> devices_;
    sd_bus* bus_ = nullptr;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

class KWinInputDevicesTest : public ::testing::Test {
protected:
    KWinInputDevicesTest() { setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1); }
    ~KWinInputDevicesTest() override { unsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    PrivateBus bus{PrivateBus::Kind::session};
};

TEST_F(KWinInputDevicesTest, EveryPointerButTouchpadsTakesOnlyWhatDiffersAndTheFirstReadsBack) {
    // A name that is no event node's is never turned into an object path.
    FakeKWinDevices kwin(bus.address(), {"event3", "event4", "event5", "event6", "../event3"},
                         {{"event3", pointerDevice(false, 0.0, true, 1.0, true)},
                          {"event4", pointerDevice(true, 0.0, true, 1.0, false)},
                          {"event5", pointerDevice(false, 0.4, false, 2.0, false)},
                          {"event6", FakeDevice{{{"pointer", 0}}}}});
    kde::KdePlatformServices services("", "");
    EXPECT_EQ(services.systemPointerSpeed(), 50);
    EXPECT_EQ(services.systemAccelerationRate(), 10);
    EXPECT_EQ(services.systemWheelLines(), 3);
    EXPECT_TRUE(services.systemScrollInvert());

    // Speed 80 is libinput's 0.6; rate 0 the flat profile; 6 lines factor 2.
    services.applyPointerSettings(80, 0, 6);
    EXPECT_DOUBLE_EQ(kwin.value("event3", "pointerAcceleration"), 0.6);
    EXPECT_EQ(kwin.value("event3", "pointerAccelerationProfileFlat"), 1);
    EXPECT_EQ(kwin.value("event3", "pointerAccelerationProfileAdaptive"), 0);
    EXPECT_DOUBLE_EQ(kwin.value("event3", "scrollFactor"), 2.0);
    EXPECT_EQ(kwin.writes("event3"), 4);
    EXPECT_DOUBLE_EQ(kwin.value("event5", "pointerAcceleration"), 0.6);
    EXPECT_EQ(kwin.writes("event5"), 1);
    EXPECT_EQ(kwin.writes("event4"), 0);
    EXPECT_EQ(kwin.writes("event6"), 0);
    EXPECT_EQ(services.systemPointerSpeed(), 80);
    EXPECT_EQ(services.systemAccelerationRate(), 0);
    EXPECT_EQ(services.systemWheelLines(), 6);

    // The same settings again change nothing; the boundaries map onto
    // libinput's ends.
    services.applyPointerSettings(80, 0, 6);
    EXPECT_EQ(kwin.writes("event3"), 4);
    services.applyPointerSettings(0, 100, 1);
    EXPECT_DOUBLE_EQ(kwin.value("event3", "pointerAcceleration"), -0.9);
    EXPECT_EQ(kwin.value("event3", "pointerAccelerationProfileAdaptive"), 1);
    EXPECT_NEAR(kwin.value("event3", "scrollFactor"), 1.0 / 3, 1e-9);
    EXPECT_EQ(services.systemPointerSpeed(), 5);
    EXPECT_EQ(services.systemAccelerationRate(), 10);
    EXPECT_EQ(services.systemWheelLines(), 1);
}

} // namespace
} // namespace obx::test
