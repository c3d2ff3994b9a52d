#include "platform/linux/shell/StatusNotifierDisplay.h"

#include "platform/linux/shell/SdBusLoop.h"
#include "settings/Utf16Text.h"
#include "shared/CTrayIcon.h"
#include "base/Log.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unistd.h>
#include <utility>

namespace obx::linuxos {

namespace {

constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* itemPath = "/StatusNotifierItem";
constexpr const char* itemInterface = "org.kde.StatusNotifierItem";
constexpr const char* menuPath = "/MenuBar";
constexpr const char* menuInterface = "com.canonical.dbusmenu";
// The menu: its root (0) holds one entry.
constexpr std::int32_t menuRoot = 0;
constexpr std::int32_t menuEntry = 3;
// Notices of one round beyond this are dropped: a client flooding the item
// with calls cannot make the helper queue without end.
constexpr std::size_t noticeLimit = 16;

const char* iconName(const CTrayIcon& icon) {
    const auto* name = static_cast<const char*>(icon.image());
    return name && *name ? name : StatusNotifierDisplay::defaultIconName;
}

} // namespace

// One shown icon: a connection of its own that owns the item's name and
// serves the item and its menu.
class StatusNotifierDisplay::Item {
public:
    Item(StatusNotifierDisplay& display, std::uint32_t iconId)
        : display_(display), iconId_(iconId),
          name_("org.kde.StatusNotifierItem-" + std::to_string(::getpid()) + "-" + std::to_string(iconId)) {}

    ~Item() {
        sd_bus_slot_unref(menuSlot_);
        sd_bus_slot_unref(itemSlot_);
        sd_bus_flush_close_unref(bus_);
    }

    // False, logged, when the connection, the name or the objects fail.
    bool open() {
        int result = sd_bus_open_user(&bus_);
        if (result < 0) {
            bus_ = nullptr;
            log(LogLevel::warning,
                "StatusNotifierDisplay - cannot connect the item: ", std::strerror(-result));
            return false;
        }
        result = sd_bus_add_object_vtable(bus_, &itemSlot_, itemPath, itemInterface, itemVtable, this);
        if (result >= 0) {
            result = sd_bus_add_object_vtable(bus_, &menuSlot_, menuPath, menuInterface, menuVtable, this);
        }
        if (result >= 0) {
            result = sd_bus_request_name(bus_, name_.c_str(), 0);
        }
        if (result < 0) {
            log(LogLevel::warning, "StatusNotifierDisplay - cannot serve the item ", name_, ": ",
                std::strerror(-result));
            return false;
        }
        return true;
    }

    void registerWithWatcher() {
        const int result = sd_bus_call_method_async(bus_, nullptr, watcherName, "/StatusNotifierWatcher",
                                                    watcherName, "RegisterStatusNotifierItem",
                                                    &Item::onRegistered, nullptr, "s", name_.c_str());
        if (result < 0) {
            log(LogLevel::warning,
                "StatusNotifierDisplay - cannot register the item: ", std::strerror(-result));
        }
    }

    void emit(const char* signal) { sd_bus_emit_signal(bus_, itemPath, itemInterface, signal, ""); }

    void emitMenuLayout() {
        ++revision_;
        sd_bus_emit_signal(bus_, menuPath, menuInterface, "LayoutUpdated", "ui", revision_, menuRoot);
    }

    sd_bus* bus() const { return bus_; }

private:
    const CTrayIcon* icon() const { return CTrayIcon::find(iconId_); }

    std::string label() const {
        const CTrayIcon* shown = icon();
        return shown ? utf16ToUtf8(shown->tooltip()) : std::string();
    }

    static Item& self(void* data) { return *static_cast<Item*>(data); }

    static int onRegistered(sd_bus_message* reply, void*, sd_bus_error*) {
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            log(LogLevel::warning, "StatusNotifierDisplay - the watcher refused the item: ",
                error->message ? error->message : error->name);
        }
        return 0;
    }

    // org.kde.StatusNotifierItem

    static int stringProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                              void* data, sd_bus_error*) {
        const Item& item = self(data);
        std::string value;
        if (std::strcmp(property, "Category") == 0) {
            value = "Hardware";
        } else if (std::strcmp(property, "Id") == 0) {
            value = "obxhelper";
        } else if (std::strcmp(property, "Title") == 0) {
            value = item.label();
        } else if (std::strcmp(property, "Status") == 0) {
            value = "Active";
        } else if (std::strcmp(property, "IconName") == 0) {
            const CTrayIcon* shown = item.icon();
            value = shown ? iconName(*shown) : defaultIconName;
        }
        return sd_bus_message_append(reply, "s", value.c_str());
    }

    static int pixmapsProperty(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                               sd_bus_error*) {
        // The image is the theme's: no pixels of its own.
        return sd_bus_message_append(reply, "a(iiay)", 0);
    }

    static int toolTipProperty(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                               void* data, sd_bus_error*) {
        const Item& item = self(data);
        const CTrayIcon* shown = item.icon();
        int result = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
        if (result >= 0) {
            result = sd_bus_message_append(reply, "sa(iiay)ss", shown ? iconName(*shown) : defaultIconName, 0,
                                           item.label().c_str(), "");
        }
        return result < 0 ? result : sd_bus_message_close_container(reply);
    }

    static int falseProperty(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                             sd_bus_error*) {
        return sd_bus_message_append(reply, "b", 0);
    }

    static int menuProperty(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                            sd_bus_error*) {
        return sd_bus_message_append(reply, "o", menuPath);
    }

    static int onActivate(sd_bus_message* call, void* data, sd_bus_error*) {
        Item& item = self(data);
        // The primary click does what a double click does elsewhere.
        item.display_.queue(item.iconId_, trayMessage::lButtonDblClk, false);
        return sd_bus_reply_method_return(call, "");
    }

    static int onIgnored(sd_bus_message* call, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(call, "");
    }

    // com.canonical.dbusmenu

    int appendEntryProperties(sd_bus_message* reply) const {
        return sd_bus_message_append(reply, "a{sv}", 3, "label", "s", label().c_str(), "enabled", "b", 1,
                                     "visible", "b", 1);
    }

    static int appendRootProperties(sd_bus_message* reply) {
        return sd_bus_message_append(reply, "a{sv}", 1, "children-display", "s", "submenu");
    }

    // (ia{sv}av) of one item and, for the root, its entry.
    int appendLayout(sd_bus_message* reply, std::int32_t id) const {
        int result = sd_bus_message_open_container(reply, 'r', "ia{sv}av");
        if (result >= 0) {
            result = sd_bus_message_append(reply, "i", id);
        }
        if (result >= 0) {
            result = id == menuEntry ? appendEntryProperties(reply) : appendRootProperties(reply);
        }
        if (result >= 0) {
            result = sd_bus_message_open_container(reply, 'a', "v");
        }
        if (result >= 0 && id == menuRoot) {
            result = sd_bus_message_open_container(reply, 'v', "(ia{sv}av)");
            if (result >= 0) {
                result = appendLayout(reply, menuEntry);
            }
            if (result >= 0) {
                result = sd_bus_message_close_container(reply);
            }
        }
        if (result >= 0) {
            result = sd_bus_message_close_container(reply);
        }
        return result < 0 ? result : sd_bus_message_close_container(reply);
    }

    static bool known(std::int32_t id) { return id == menuRoot || id == menuEntry; }

    static int unknownItem(sd_bus_error* error) {
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "No such menu item");
    }

    static int reply(sd_bus_message* call, const std::function<int(sd_bus_message*)>& fill) {
        sd_bus_message* answer = nullptr;
        int result = sd_bus_message_new_method_return(call, &answer);
        if (result >= 0) {
            result = fill(answer);
        }
        if (result >= 0) {
            result = sd_bus_send(nullptr, answer, nullptr);
        }
        sd_bus_message_unref(answer);
        return result;
    }

    static int onGetLayout(sd_bus_message* call, void* data, sd_bus_error* error) {
        const Item& item = self(data);
        std::int32_t parent = 0, depth = 0;
        int result = sd_bus_message_read(call, "ii", &parent, &depth);
        if (result < 0) {
            return result;
        }
        if (!known(parent)) {
            return unknownItem(error);
        }
        return reply(call, [&](sd_bus_message* answer) {
            const int appended = sd_bus_message_append(answer, "u", item.revision_);
            return appended < 0 ? appended : item.appendLayout(answer, parent);
        });
    }

    static int onGetGroupProperties(sd_bus_message* call, void* data, sd_bus_error*) {
        const Item& item = self(data);
        const std::int32_t* ids = nullptr;
        std::size_t size = 0;
        int result = sd_bus_message_read_array(call, 'i', reinterpret_cast<const void**>(&ids), &size);
        if (result < 0) {
            return result;
        }
        const std::vector<std::int32_t> asked(ids, ids + size / sizeof(std::int32_t));
        return reply(call, [&](sd_bus_message* answer) {
            int appended = sd_bus_message_open_container(answer, 'a', "(ia{sv})");
            for (std::int32_t id : asked) {
                if (appended >= 0 && known(id)) {
                    appended = sd_bus_message_open_container(answer, 'r', "ia{sv}");
                    if (appended >= 0) {
                        appended = sd_bus_message_append(answer, "i", id);
                    }
                    if (appended >= 0) {
                        appended = id == menuEntry ? item.appendEntryProperties(answer)
                                                   : appendRootProperties(answer);
                    }
                    if (appended >= 0) {
                        appended = sd_bus_message_close_container(answer);
                    }
                }
            }
            return appended < 0 ? appended : sd_bus_message_close_container(answer);
        });
    }

    static int onGetProperty(sd_bus_message* call, void* data, sd_bus_error* error) {
        const Item& item = self(data);
        std::int32_t id = 0;
        const char* name = nullptr;
        const int result = sd_bus_message_read(call, "is", &id, &name);
        if (result < 0) {
            return result;
        }
        if (id == menuEntry && std::strcmp(name, "label") == 0) {
            return sd_bus_reply_method_return(call, "v", "s", item.label().c_str());
        }
        if (id == menuEntry && (std::strcmp(name, "enabled") == 0 || std::strcmp(name, "visible") == 0)) {
            return sd_bus_reply_method_return(call, "v", "b", 1);
        }
        if (id == menuRoot && std::strcmp(name, "children-display") == 0) {
            return sd_bus_reply_method_return(call, "v", "s", "submenu");
        }
        return known(id) ? sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "No such property")
                         : unknownItem(error);
    }

    // One event; true when its item exists.
    bool event(std::int32_t id, const char* kind) {
        if (id == menuEntry && std::strcmp(kind, "clicked") == 0) {
            display_.queue(iconId_, trayMessage::rButtonUp, true);
        }
        return known(id);
    }

    static int onEvent(sd_bus_message* call, void* data, sd_bus_error* error) {
        std::int32_t id = 0;
        const char* kind = nullptr;
        const int result = sd_bus_message_read(call, "is", &id, &kind);
        if (result < 0) {
            return result;
        }
        return self(data).event(id, kind) ? sd_bus_reply_method_return(call, "") : unknownItem(error);
    }

    static int onEventGroup(sd_bus_message* call, void* data, sd_bus_error*) {
        std::vector<std::int32_t> unknownIds;
        int result = sd_bus_message_enter_container(call, 'a', "(isvu)");
        while (result >= 0 && (result = sd_bus_message_enter_container(call, 'r', "isvu")) > 0) {
            std::int32_t id = 0;
            const char* kind = nullptr;
            result = sd_bus_message_read(call, "is", &id, &kind);
            if (result >= 0 && !self(data).event(id, kind)) {
                unknownIds.push_back(id);
            }
            if (result >= 0) {
                result = sd_bus_message_skip(call, "vu");
            }
            if (result >= 0) {
                result = sd_bus_message_exit_container(call);
            }
        }
        if (result < 0) {
            return result;
        }
        return reply(call, [&](sd_bus_message* answer) {
            return sd_bus_message_append_array(answer, 'i', unknownIds.data(),
                                               unknownIds.size() * sizeof(std::int32_t));
        });
    }

    static int onAboutToShow(sd_bus_message* call, void*, sd_bus_error*) {
        // The menu never changes while it opens.
        return sd_bus_reply_method_return(call, "b", 0);
    }

    static int onAboutToShowGroup(sd_bus_message* call, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(call, "aiai", 0, 0);
    }

    static int menuVersion(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                           sd_bus_error*) {
        return sd_bus_message_append(reply, "u", 3u);
    }

    static int menuString(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                          void*, sd_bus_error*) {
        return sd_bus_message_append(reply, "s", std::strcmp(property, "Status") == 0 ? "normal" : "ltr");
    }

    static int menuThemePath(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                             sd_bus_error*) {
        return sd_bus_message_append(reply, "as", 0);
    }

    static const sd_bus_vtable itemVtable[];
    static const sd_bus_vtable menuVtable[];

    StatusNotifierDisplay& display_;
    std::uint32_t iconId_;
    std::string name_;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* itemSlot_ = nullptr;
    sd_bus_slot* menuSlot_ = nullptr;
    std::uint32_t revision_ = 1;
};

const sd_bus_vtable StatusNotifierDisplay::Item::itemVtable[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_PROPERTY("Category", "s", stringProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", stringProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", stringProperty, 0, 0), SD_BUS_PROPERTY("Status", "s", stringProperty, 0, 0),
    SD_BUS_PROPERTY("IconName", "s", stringProperty, 0, 0),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", pixmapsProperty, 0, 0),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", toolTipProperty, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", falseProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", menuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Activate", "ii", "", onActivate, 0),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", onIgnored, 0),
    // Panels that show our menu never call this; others get no menu of ours.
    SD_BUS_METHOD("ContextMenu", "ii", "", onIgnored, 0), SD_BUS_METHOD("Scroll", "is", "", onIgnored, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0), SD_BUS_SIGNAL("NewIcon", "", 0), SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0), SD_BUS_VTABLE_END};

const sd_bus_vtable StatusNotifierDisplay::Item::menuVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", menuVersion, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", menuString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", menuString, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", menuThemePath, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", onGetLayout, 0),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", onGetGroupProperties, 0),
    SD_BUS_METHOD("GetProperty", "is", "v", onGetProperty, 0),
    SD_BUS_METHOD("Event", "isvu", "", onEvent, 0),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", onEventGroup, 0),
    SD_BUS_METHOD("AboutToShow", "i", "b", onAboutToShow, 0),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", onAboutToShowGroup, 0),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END};

StatusNotifierDisplay::StatusNotifierDisplay() {
    int result = sd_bus_open_user(&bus_);
    if (result < 0) {
        bus_ = nullptr;
        log(LogLevel::warning, "StatusNotifierDisplay - no session bus (", std::strerror(-result),
            "): the notification-area icon is not shown");
        return;
    }
    const std::string rule =
        std::string("type='signal',sender='org.freedesktop.DBus',"
                    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
        watcherName + "'";
    result = sd_bus_add_match(bus_, &watcherSlot_, rule.c_str(),
                              &StatusNotifierDisplay::onWatcherOwnerChanged, this);
    if (result < 0) {
        log(LogLevel::warning, "StatusNotifierDisplay - cannot follow the watcher: ", std::strerror(-result));
    }
}

StatusNotifierDisplay::~StatusNotifierDisplay() {
    items_.clear();
    sd_bus_slot_unref(watcherSlot_);
    sd_bus_flush_close_unref(bus_);
}

bool StatusNotifierDisplay::watcherPresent() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int present = 0;
    int result = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", watcherName);
    if (result >= 0) {
        result = sd_bus_message_read(reply, "b", &present);
    }
    if (result < 0) {
        log(LogLevel::warning, "StatusNotifierDisplay - cannot ask the session bus for the watcher: ",
            busErrorText(error, result));
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return result >= 0 && present;
}

bool StatusNotifierDisplay::add(const CTrayIcon& icon) {
    if (!bus_) {
        return false;
    }
    if (!watcherPresent()) {
        logText(LogLevel::info, "StatusNotifierDisplay - no StatusNotifierWatcher on the session bus: the "
                                "notification-area icon is not shown");
        items_.erase(icon.id());
        return false;
    }
    auto& item = items_[icon.id()];
    if (!item) {
        item = std::make_unique<Item>(*this, icon.id());
        if (!item->open()) {
            items_.erase(icon.id());
            return false;
        }
    }
    // A restarted watcher has forgotten the item: registering again is how
    // it learns of it.
    item->registerWithWatcher();
    return true;
}

bool StatusNotifierDisplay::remove(const CTrayIcon& icon) {
    // The item's name goes with its connection; the watcher drops it then.
    items_.erase(icon.id());
    return true;
}

void StatusNotifierDisplay::updateTooltip(const CTrayIcon& icon) {
    if (auto found = items_.find(icon.id()); found != items_.end()) {
        found->second->emit("NewTitle");
        found->second->emit("NewToolTip");
        found->second->emitMenuLayout();
    }
}

void StatusNotifierDisplay::updateImage(const CTrayIcon& icon) {
    if (auto found = items_.find(icon.id()); found != items_.end()) {
        found->second->emit("NewIcon");
    }
}

bool StatusNotifierDisplay::takeMenuChoice() {
    return std::exchange(menuChoice_, false);
}

void StatusNotifierDisplay::queue(std::uint32_t iconId, std::uint32_t notification, bool menuChoice) {
    if (notices_.size() < noticeLimit) {
        notices_.push_back({iconId, notification, menuChoice});
    }
}

int StatusNotifierDisplay::onWatcherOwnerChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    const char *name = nullptr, *previous = nullptr, *owner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &previous, &owner) >= 0 && owner && *owner) {
        static_cast<StatusNotifierDisplay*>(self)->watcherRestarted_ = true;
    }
    return 0;
}

void StatusNotifierDisplay::addDescriptors(std::vector<pollfd>& fds) {
    if (bus_) {
        fds.push_back(busDescriptor(bus_));
    }
    for (const auto& [id, item] : items_) {
        fds.push_back(busDescriptor(item->bus()));
    }
}

int StatusNotifierDisplay::timeoutMs() {
    int soonest = bus_ ? busTimeoutMs(bus_) : -1;
    for (const auto& [id, item] : items_) {
        const int timeout = busTimeoutMs(item->bus());
        if (timeout >= 0 && (soonest < 0 || timeout < soonest)) {
            soonest = timeout;
        }
    }
    return soonest;
}

void StatusNotifierDisplay::handle(std::span<const pollfd>) {
    if (bus_ && !processBus(bus_)) {
        logText(LogLevel::warning, "StatusNotifierDisplay - the session bus connection ended");
        items_.clear();
        watcherSlot_ = sd_bus_slot_unref(watcherSlot_);
        bus_ = sd_bus_flush_close_unref(bus_);
    }
    for (auto item = items_.begin(); item != items_.end();) {
        if (processBus(item->second->bus())) {
            ++item;
        } else {
            log(LogLevel::warning, "StatusNotifierDisplay - the connection of icon ", item->first, " ended");
            item = items_.erase(item);
        }
    }
    if (std::exchange(watcherRestarted_, false)) {
        CTrayIcon::addVisibleIconsAgain();
    }
    for (const Notice& notice : std::exchange(notices_, {})) {
        menuChoice_ = notice.menuChoice;
        CTrayIcon::dispatch(notice.iconId, notice.notification);
        menuChoice_ = false;
    }
}

} // namespace obx::linuxos
