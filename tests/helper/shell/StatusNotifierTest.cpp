#include "ConfigurationStandIn.h"
#include "HelperProcess.h"
#include "RunningHelper.h"
#include "support/PrivateBus.h"

#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <systemd/sd-bus.h>
#include <thread>

namespace obx::test {
namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* itemInterface = "org.kde.StatusNotifierItem";

sd_bus* connect(const std::string& address) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        sd_bus_unref(bus);
        throw std::runtime_error("cannot connect to the private bus");
    }
    return bus;
}

// What a panel's watcher does for the test: owns the watcher's name and
// records each item that registers, on a thread of its own. Gone with the
// object, as a panel that ends.
class WatcherStandIn {
public:
    explicit WatcherStandIn(const std::string& address) : bus_(connect(address)) {
        if (sd_bus_add_object_vtable(bus_, nullptr, "/StatusNotifierWatcher", watcherName, vtable, this) <
                0 ||
            sd_bus_request_name(bus_, watcherName, 0) < 0) {
            sd_bus_flush_close_unref(bus_);
            throw std::runtime_error("the watcher stand-in cannot take its name");
        }
        thread_ = std::thread([this] {
            while (!stop_) {
                while (sd_bus_process(bus_, nullptr) > 0) {
                }
                sd_bus_wait(bus_, 50000);
            }
        });
    }
    ~WatcherStandIn() {
        stop_ = true;
        thread_.join();
        sd_bus_flush_close_unref(bus_);
    }

    std::vector<std::string> registered() const {
        std::lock_guard lock(mutex_);
        return registered_;
    }

private:
    static int onRegister(sd_bus_message* call, void* data, sd_bus_error*) {
        auto& self = *static_cast<WatcherStandIn*>(data);
        const char* service = nullptr;
        if (sd_bus_message_read(call, "s", &service) >= 0) {
            std::lock_guard lock(self.mutex_);
            self.registered_.emplace_back(service);
        }
        return sd_bus_reply_method_return(call, "");
    }

    static inline const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0), SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", onRegister, 0),
        SD_BUS_VTABLE_END};

    sd_bus* bus_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> registered_;
};

// The panel's side of a registered item: properties, clicks, the menu.
class PanelClient {
public:
    PanelClient(const std::string& address, std::string service)
        : bus_(connect(address)), service_(service) {}
    ~PanelClient() { sd_bus_flush_close_unref(bus_); }

    std::string property(const char* name) {
        char* value = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        const int result = sd_bus_get_property_string(bus_, service_.c_str(), "/StatusNotifierItem",
                                                      itemInterface, name, &error, &value);
        std::string text =
            result >= 0 ? value : std::string("<error: ") + (error.message ? error.message : "") + ">";
        std::free(value);
        sd_bus_error_free(&error);
        return text;
    }

    std::string menuPath() {
        sd_bus_message* reply = nullptr;
        const char* path = nullptr;
        std::string text;
        if (sd_bus_get_property(bus_, service_.c_str(), "/StatusNotifierItem", itemInterface, "Menu", nullptr,
                                &reply, "o") >= 0 &&
            sd_bus_message_read(reply, "o", &path) >= 0) {
            text = path;
        }
        sd_bus_message_unref(reply);
        return text;
    }

    // Title of the tooltip.
    std::string toolTipTitle() {
        sd_bus_message* reply = nullptr;
        std::string title;
        if (sd_bus_get_property(bus_, service_.c_str(), "/StatusNotifierItem", itemInterface, "ToolTip",
                                nullptr, &reply, "(sa(iiay)ss)") >= 0 &&
            sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss") >= 0) {
            const char *icon = nullptr, *text = nullptr;
            if (sd_bus_message_read(reply, "s", &icon) >= 0 && sd_bus_message_skip(reply, "a(iiay)") >= 0 &&
                sd_bus_message_read(reply, "s", &text) >= 0) {
                title = text;
            }
        }
        sd_bus_message_unref(reply);
        return title;
    }

    bool call(const char* path, const char* interface, const char* method, const char* types, ...) {
        sd_bus_message* message = nullptr;
        int result =
            sd_bus_message_new_method_call(bus_, &message, service_.c_str(), path, interface, method);
        if (result >= 0) {
            va_list args;
            va_start(args, types);
            result = sd_bus_message_appendv(message, types, args);
            va_end(args);
        }
        if (result >= 0) {
            result = sd_bus_call(bus_, message, 0, nullptr, nullptr);
        }
        sd_bus_message_unref(message);
        return result >= 0;
    }

    // The ids and labels of the root's entries, as a panel lays the menu out.
    std::vector<std::pair<int, std::string>> menuEntries() {
        std::vector<std::pair<int, std::string>> entries;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_, service_.c_str(), menuPath().c_str(), "com.canonical.dbusmenu",
                               "GetLayout", nullptr, &reply, "iias", 0, -1, 0) < 0) {
            return entries;
        }
        std::uint32_t revision = 0;
        std::int32_t root = -1;
        sd_bus_message_read(reply, "u", &revision);
        sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
        sd_bus_message_read(reply, "i", &root);
        sd_bus_message_skip(reply, "a{sv}");
        sd_bus_message_enter_container(reply, 'a', "v");
        while (sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)") > 0) {
            sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
            std::int32_t id = 0;
            std::string label;
            sd_bus_message_read(reply, "i", &id);
            sd_bus_message_enter_container(reply, 'a', "{sv}");
            while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
                const char* key = nullptr;
                const char* value = nullptr;
                sd_bus_message_read(reply, "s", &key);
                if (std::strcmp(key, "label") == 0 && sd_bus_message_read(reply, "v", "s", &value) >= 0) {
                    label = value;
                } else {
                    sd_bus_message_skip(reply, "v");
                }
                sd_bus_message_exit_container(reply);
            }
            sd_bus_message_exit_container(reply);
            sd_bus_message_skip(reply, "av");
            sd_bus_message_exit_container(reply);
            sd_bus_message_exit_container(reply);
            entries.emplace_back(id, label);
        }
        sd_bus_message_unref(reply);
        return entries;
    }

private:
    sd_bus* bus_;
    std::string service_;
};

// A helper on a private session bus beside a stand-in configuration application.
struct TraySetting {
    TraySetting() { setting.setEnvironment("DBUS_SESSION_BUS_ADDRESS", bus.address()); }
    std::size_t launches() const { return application.launches(); }

    PrivateBus bus{PrivateBus::Kind::session};
    HelperSetting setting;
    ConfigurationStandIn application{setting};
};

TEST(StatusNotifierTest, TheIconRegistersShowsTheLabelAndStartsTheApplicationFromClickAndMenu) {
    TraySetting tray;
    auto watcher = std::make_unique<WatcherStandIn>(tray.bus.address());
    RunningHelper helper(tray.setting);
    ASSERT_TRUE(helper.started());
    ASSERT_TRUE(waitUntil([&] { return watcher->registered().size() == 1; }));
    const std::string service = watcher->registered().front();
    EXPECT_EQ(service.rfind("org.kde.StatusNotifierItem-", 0), 0u) << service;

    PanelClient panel(tray.bus.address(), service);
    EXPECT_EQ(panel.property("Title"), "Quellane 2.1.19");
    EXPECT_EQ(panel.property("Id"), "obxhelper");
    EXPECT_EQ(panel.property("Status"), "Active");
    EXPECT_EQ(panel.property("IconName"), "input-mouse");
    EXPECT_EQ(panel.toolTipTitle(), "Quellane 2.1.19");
    EXPECT_EQ(panel.menuPath(), "/MenuBar");

    ASSERT_TRUE(panel.call("/StatusNotifierItem", itemInterface, "Activate", "ii", 10, 10));
    EXPECT_TRUE(waitUntil([&] { return tray.launches() == 1; }));

    const auto entries = panel.menuEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, "Quellane 2.1.19");
    // Opening the menu without choosing starts nothing; the entry does.
    ASSERT_TRUE(panel.call("/MenuBar", "com.canonical.dbusmenu", "Event", "isvu", entries[0].first, "opened",
                           "s", "", 0u));
    ASSERT_TRUE(panel.call("/MenuBar", "com.canonical.dbusmenu", "Event", "isvu", entries[0].first, "clicked",
                           "s", "", 0u));
    EXPECT_TRUE(waitUntil([&] { return tray.launches() == 2; }));
    EXPECT_FALSE(
        panel.call("/MenuBar", "com.canonical.dbusmenu", "Event", "isvu", 77, "clicked", "s", "", 0u));

    // A restarted panel learns of the icon again.
    watcher.reset();
    watcher = std::make_unique<WatcherStandIn>(tray.bus.address());
    ASSERT_TRUE(waitUntil([&] { return watcher->registered().size() == 1; }));
    EXPECT_EQ(watcher->registered().front(), service);
    EXPECT_EQ(tray.launches(), 2u);
    EXPECT_TRUE(helper.process().running());
}

TEST(StatusNotifierTest, WithoutAWatcherTheIconIsNotShownUntilAPanelStarts) {
    TraySetting tray;
    RunningHelper helper(tray.setting);
    ASSERT_TRUE(helper.started());
    EXPECT_TRUE(
        waitUntil([&] { return tray.setting.log().find("no StatusNotifierWatcher") != std::string::npos; }));
    // The icon was asked to show: a panel that comes later shows it.
    WatcherStandIn watcher(tray.bus.address());
    EXPECT_TRUE(waitUntil([&] { return watcher.registered().size() == 1; }));
    EXPECT_TRUE(httpAnswers(tray.setting.port()));
}

TEST(StatusNotifierTest, WithoutASessionBusNothingFails) {
    HelperSetting setting;
    RunningHelper helper(setting);
    ASSERT_TRUE(helper.started());
    EXPECT_TRUE(waitUntil(
        [&] { return setting.log().find("StatusNotifierDisplay - no session bus") != std::string::npos; }));
    EXPECT_TRUE(helper.process().running());
}

} // namespace
} // namespace obx::test
