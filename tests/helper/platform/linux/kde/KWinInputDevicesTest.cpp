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

struct FakeDevice {
    bool pointer = true;
    bool touchpad = false;
    double acceleration = 0;
    bool flat = false;
    bool adaptive = true;
    double scrollFactor = 1;
    bool naturalScroll = false;
    int writes = 0;
};

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
    const FakeDevice& device(const std::string& name) const { return devices_.at(name); }

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

    static FakeDevice& of(void* data) { return *static_cast<FakeDevice*>(data); }

    static bool* flag(FakeDevice& device, std::string_view property) {
        if (property == "pointer") {
            return &device.pointer;
        }
        if (property == "touchpad") {
            return &device.touchpad;
        }
        if (property == "pointerAccelerationProfileFlat") {
            return &device.flat;
        }
        if (property == "pointerAccelerationProfileAdaptive") {
            return &device.adaptive;
        }
        return &device.naturalScroll;
    }

    static double* number(FakeDevice& device, std::string_view property) {
        return property == "scrollFactor" ? &device.scrollFactor : &device.acceleration;
    }

    static int getFlag(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                       void* data, sd_bus_error*) {
        return sd_bus_message_append(reply, "b", *flag(of(data), property) ? 1 : 0);
    }

    static int setFlag(sd_bus*, const char*, const char*, const char* property, sd_bus_message* value,
                       void* data, sd_bus_error*) {
        int read = 0;
        const int result = sd_bus_message_read(value, "b", &read);
        *flag(of(data), property) = read != 0;
        ++of(data).writes;
        return result;
    }

    static int getNumber(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                         void* data, sd_bus_error*) {
        return sd_bus_message_append(reply, "d", *number(of(data), property));
    }

    static int setNumber(sd_bus*, const char*, const char*, const char* property, sd_bus_message* value,
                         void* data, sd_bus_error*) {
        const int result = sd_bus_message_read(value, "d", number(of(data), property));
        ++of(data).writes;
        return result;
    }

    static constexpr sd_bus_vtable managerVtable[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_PROPERTY("devicesSysNames", "as", &FakeKWinDevices::names, 0, 0),
        SD_BUS_VTABLE_END};
    static constexpr sd_bus_vtable deviceVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("pointer", "b", &FakeKWinDevices::getFlag, 0, 0),
        SD_BUS_PROPERTY("touchpad", "b", &FakeKWinDevices::getFlag, 0, 0),
        SD_BUS_PROPERTY("naturalScroll", "b", &FakeKWinDevices::getFlag, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAccelerationProfileFlat", "b", &FakeKWinDevices::getFlag,
                                 &FakeKWinDevices::setFlag, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAccelerationProfileAdaptive", "b", &FakeKWinDevices::getFlag,
                                 &FakeKWinDevices::setFlag, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("pointerAcceleration", "d", &FakeKWinDevices::getNumber,
                                 &FakeKWinDevices::setNumber, 0, 0),
        SD_BUS_WRITABLE_PROPERTY("scrollFactor", "d", &FakeKWinDevices::getNumber,
                                 &FakeKWinDevices::setNumber, 0, 0),
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
    FakeDevice trackball{true, false, 0.0, false, true, 1.0, true};
    FakeDevice touchpad{true, true};
    FakeDevice mouse{true, false, 0.4, true, false, 2.0, false};
    FakeDevice keyboard{false};
    // A name that is no event node's is never turned into an object path.
    FakeKWinDevices kwin(
        bus.address(), {"event3", "event4", "event5", "event6", "../event3"},
        {{"event3", trackball}, {"event4", touchpad}, {"event5", mouse}, {"event6", keyboard}});
    kde::KdePlatformServices services("", "");

    EXPECT_EQ(services.systemPointerSpeed(), 50);
    EXPECT_EQ(services.systemAccelerationRate(), 10);
    EXPECT_EQ(services.systemWheelLines(), 3);
    EXPECT_TRUE(services.systemScrollInvert());

    // Speed 80 is libinput's 0.6; rate 0 the flat profile; 6 lines factor 2.
    services.applyPointerSettings(80, 0, 6);
    EXPECT_DOUBLE_EQ(kwin.device("event3").acceleration, 0.6);
    EXPECT_TRUE(kwin.device("event3").flat);
    EXPECT_FALSE(kwin.device("event3").adaptive);
    EXPECT_DOUBLE_EQ(kwin.device("event3").scrollFactor, 2.0);
    EXPECT_EQ(kwin.device("event3").writes, 4);
    EXPECT_DOUBLE_EQ(kwin.device("event5").acceleration, 0.6);
    EXPECT_EQ(kwin.device("event5").writes, 1);
    EXPECT_EQ(kwin.device("event4").writes, 0);
    EXPECT_EQ(kwin.device("event6").writes, 0);

    EXPECT_EQ(services.systemPointerSpeed(), 80);
    EXPECT_EQ(services.systemAccelerationRate(), 0);
    EXPECT_EQ(services.systemWheelLines(), 6);

    // The same settings again change nothing; the boundaries map onto
    // libinput's ends.
    services.applyPointerSettings(80, 0, 6);
    EXPECT_EQ(kwin.device("event3").writes, 4);
    services.applyPointerSettings(0, 100, 1);
    EXPECT_DOUBLE_EQ(kwin.device("event3").acceleration, -0.9);
    EXPECT_TRUE(kwin.device("event3").adaptive);
    EXPECT_NEAR(kwin.device("event3").scrollFactor, 1.0 / 3, 1e-9);
    EXPECT_EQ(services.systemPointerSpeed(), 5);
    EXPECT_EQ(services.systemAccelerationRate(), 10);
    EXPECT_EQ(services.systemWheelLines(), 1);
}

} // namespace
} // namespace obx::test
