// GNOME Shell has no notification area: the helper's StatusNotifierItem would
// reach no panel. The extension therefore serves org.kde.StatusNotifierWatcher
// while no one else does, and shows each item of the helper that registers as
// a button in the top bar with the item's icon and dbusmenu menu. Every value
// read here comes from a client of the user's session bus, so all of it is
// bounded.

const WATCHER_NAME = 'org.kde.StatusNotifierWatcher';
const WATCHER_PATH = '/StatusNotifierWatcher';
const WATCHER_INTERFACE = `
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem">
      <arg type="s" direction="in" name="service"/>
    </method>
    <method name="RegisterStatusNotifierHost">
      <arg type="s" direction="in" name="service"/>
    </method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered">
      <arg type="s" name="service"/>
    </signal>
    <signal name="StatusNotifierItemUnregistered">
      <arg type="s" name="service"/>
    </signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
</node>`;
const ITEM_INTERFACE = 'org.kde.StatusNotifierItem';
const MENU_INTERFACE = 'com.canonical.dbusmenu';
const DEFAULT_ITEM_PATH = '/StatusNotifierItem';

// Only the helper's own items are shown: this is no general notification area.
const OUR_ITEM_ID = 'obxhelper';
// The helper shows one icon; a few more allow for a second session's helper.
const ITEM_LIMIT = 4;
const REGISTRATIONS_PENDING_LIMIT = 8;
const NAME_LENGTH_LIMIT = 255;
const TEXT_LENGTH_LIMIT = 128;
const MENU_ENTRY_LIMIT = 64;
// The Shell's submenus do not nest: top-level entries and one level of
// submenus; an entry deeper down is an entry without its children.
const MENU_DEPTH_LIMIT = 2;
const PIXMAP_SIDE_LIMIT = 256;
const CALL_TIMEOUT_MS = 2000;
// Change signals in a burst are answered by one read.
const REFRESH_DELAY_MS = 100;
const PANEL_ICON_SIZE = 16;

function boundedText(value) {
    return typeof value === 'string' ? value.slice(0, TEXT_LENGTH_LIMIT) : '';
}

// dbusmenu marks access keys with '_' and writes a literal one as '__'.
function menuLabel(value) {
    return boundedText(value).replace(/__|_/g, underscores => underscores === '__' ? '_' : '');
}

function isObjectPath(value) {
    return typeof value === 'string' && value.length <= NAME_LENGTH_LIMIT && GLib.Variant.is_object_path(value);
}

// The item's pixmaps are ARGB32 in network byte order; the one nearest the
// panel's icon size (and not smaller, if one is) becomes an RGBA image.
function pixmapIcon(pixmaps) {
    let best = null;
    for (const [width, height, bytes] of pixmaps.slice(0, 8)) {
        if (width <= 0 || height <= 0 || width > PIXMAP_SIDE_LIMIT || height > PIXMAP_SIDE_LIMIT ||
            bytes.length !== width * height * 4)
            continue;
        const fits = width >= PANEL_ICON_SIZE;
        if (!best || (fits && (!best.fits || width < best.width)) || (!fits && !best.fits && width > best.width))
            best = {width, height, bytes, fits};
    }
    if (!best)
        return null;
    const rgba = new Uint8Array(best.bytes.length);
    for (let i = 0; i < rgba.length; i += 4) {
        rgba[i] = best.bytes[i + 1];
        rgba[i + 1] = best.bytes[i + 2];
        rgba[i + 2] = best.bytes[i + 3];
        rgba[i + 3] = best.bytes[i];
    }
    return GdkPixbuf.Pixbuf.new_from_bytes(new GLib.Bytes(rgba), GdkPixbuf.Colorspace.RGB, true, 8, best.width,
        best.height, best.width * 4);
}

function themedIcon(name) {
    if (typeof name !== 'string' || name.length === 0 || name.length > NAME_LENGTH_LIMIT || name.includes('/'))
        return null;
    return new Gio.ThemedIcon({name});
}

// The panel's button of one item: the primary click is the item's Activate,
// the secondary opens its menu. Up to GNOME 49 the button opens its menu in
// its event handler, on any press; from GNOME 50 its ClickGesture does, on
// the press, before the button's event handler sees it: that gesture is
// left the secondary button, and one of ours takes the primary.
const TrayButton = GObject.registerClass(
class TrayButton extends PanelMenu.Button {
    _init(onPrimary) {
        super._init(0.5, 'Trackball helper', false);
        this._onPrimary = onPrimary;
        this.icon = new St.Icon({style_class: 'system-status-icon', icon_name: 'input-mouse'});
        this.add_child(this.icon);
        if (this._clickGesture) {
            this._clickGesture.set_required_button(Clutter.BUTTON_SECONDARY);
            const primary = new Clutter.ClickGesture();
            primary.set_recognize_on_press(true);
            primary.set_required_button(Clutter.BUTTON_PRIMARY);
            primary.connect('recognize', gesture => {
                const point = gesture.get_coords_abs();
                this._onPrimary(Math.round(point.x), Math.round(point.y));
            });
            this.add_action(primary);
        }
    }

    vfunc_event(event) {
        if (!this._clickGesture && event.type() === Clutter.EventType.BUTTON_PRESS &&
            event.get_button() === Clutter.BUTTON_PRIMARY) {
            const [x, y] = event.get_coords();
            this._onPrimary(Math.round(x), Math.round(y));
            return Clutter.EVENT_STOP;
        }
        return super.vfunc_event(event);
    }
});

// One registered item: reads its properties and menu, follows their change
// signals, and sends the user's choices back.
class TrayItem {
    constructor(busName, path, onGone) {
        this.busName = busName;
        this.path = path;
        this.title = '';
        this.iconDescription = '';
        this._menuPath = null;
        this._refreshTimeouts = new Map();
        this._button = new TrayButton((x, y) => this.activate(x, y));
        Main.panel.addToStatusArea(`obx-tray-${busName}-${path}`, this._button);
        this._watch = Gio.bus_watch_name_on_connection(Gio.DBus.session, busName, Gio.BusNameWatcherFlags.NONE,
            null, () => onGone(this));
        this._subscriptions = [
            this._subscribe(ITEM_INTERFACE, path, null, () => this._later('item', () => this.readProperties())),
        ];
    }

    destroy() {
        for (const id of this._subscriptions)
            Gio.DBus.session.signal_unsubscribe(id);
        for (const id of this._refreshTimeouts.values())
            GLib.source_remove(id);
        Gio.bus_unwatch_name(this._watch);
        this._button.destroy();
    }

    _subscribe(iface, path, member, handler) {
        return Gio.DBus.session.signal_subscribe(this.busName, iface, member, path, null,
            Gio.DBusSignalFlags.NONE, handler);
    }

    _later(kind, work) {
        if (this._refreshTimeouts.has(kind))
            return;
        this._refreshTimeouts.set(kind, GLib.timeout_add(GLib.PRIORITY_DEFAULT, REFRESH_DELAY_MS, () => {
            this._refreshTimeouts.delete(kind);
            work();
            return GLib.SOURCE_REMOVE;
        }));
    }

    _call(path, iface, method, parameters, replyType, callback) {
        const type = replyType ? new GLib.VariantType(replyType) : null;
        Gio.DBus.session.call(this.busName, path, iface, method, parameters, type,
            Gio.DBusCallFlags.NO_AUTO_START, CALL_TIMEOUT_MS, null, (connection, result) => {
                let reply = null;
                try {
                    reply = connection.call_finish(result);
                } catch (e) {
                    // An item that does not answer keeps what it showed.
                    return;
                }
                try {
                    callback?.(reply);
                } catch (e) {
                    // A reply that does not fit is the item's fault: it keeps what it showed.
                    logError(e, 'Trackball helper: an item\'s reply was not shown');
                }
            });
    }

    // The item's properties, read at once; with them the menu.
    readProperties() {
        this._call(this.path, 'org.freedesktop.DBus.Properties', 'GetAll', new GLib.Variant('(s)', [ITEM_INTERFACE]),
            '(a{sv})', reply => this._showProperties(reply.get_child_value(0)));
    }

    _showProperties(properties) {
        const value = (name, type) => {
            const variant = properties.lookup_value(name, new GLib.VariantType(type));
            return variant ? variant.deep_unpack() : null;
        };
        let title = value('Title', 's');
        const toolTip = value('ToolTip', '(sa(iiay)ss)');
        if (toolTip && toolTip[2])
            title = toolTip[2];
        this.title = boundedText(title ?? '');
        this._button.accessible_name = this.title;

        const pixmaps = value('IconPixmap', 'a(iiay)') ?? [];
        const name = value('IconName', 's');
        let gicon = pixmapIcon(pixmaps);
        this.iconDescription = gicon ? `pixmap ${gicon.get_width()}x${gicon.get_height()}` : '';
        if (!gicon) {
            gicon = themedIcon(name);
            this.iconDescription = gicon ? name : '';
        }
        this._button.icon.gicon = gicon ?? new Gio.ThemedIcon({name: 'image-missing'});

        const menuPath = value('Menu', 'o');
        if (menuPath !== this._menuPath && isObjectPath(menuPath)) {
            this._menuPath = menuPath;
            const onChange = () => this._later('menu', () => this.readMenu());
            this._subscriptions.push(this._subscribe(MENU_INTERFACE, menuPath, 'LayoutUpdated', onChange),
                this._subscribe(MENU_INTERFACE, menuPath, 'ItemsPropertiesUpdated', onChange));
            this.readMenu();
        }
    }

    readMenu() {
        if (!this._menuPath)
            return;
        this._call(this._menuPath, MENU_INTERFACE, 'GetLayout', new GLib.Variant('(iias)', [0, MENU_DEPTH_LIMIT, []]),
            '(u(ia{sv}av))', reply => {
                const menu = this._button.menu;
                menu.removeAll();
                const [, layout] = reply.deep_unpack();
                this._fillMenu(menu, layout, 0, {count: 0});
            });
    }

    // Adds the children of one dbusmenu entry, depth first, until the entry
    // limit; returns nothing.
    _fillMenu(menu, layout, depth, added) {
        const [, , children] = layout;
        for (const child of children) {
            if (added.count >= MENU_ENTRY_LIMIT)
                return;
            const [id, properties, grandChildren] = child.deep_unpack();
            const property = name => properties[name] ? properties[name].deep_unpack() : undefined;
            if (property('visible') === false)
                continue;
            ++added.count;
            if (property('type') === 'separator') {
                menu.addMenuItem(new PopupMenu.PopupSeparatorMenuItem());
                continue;
            }
            const label = menuLabel(property('label'));
            let entry;
            if (property('children-display') === 'submenu' && grandChildren.length > 0 &&
                depth + 1 < MENU_DEPTH_LIMIT) {
                entry = new PopupMenu.PopupSubMenuMenuItem(label);
                this._fillMenu(entry.menu, [id, properties, grandChildren], depth + 1, added);
            } else {
                entry = new PopupMenu.PopupMenuItem(label);
                entry.connect('activate', () => this._menuEvent(id, 'clicked'));
            }
            entry.setSensitive(property('enabled') !== false);
            menu.addMenuItem(entry);
        }
    }

    _menuEvent(id, kind) {
        this._call(this._menuPath, MENU_INTERFACE, 'Event',
            new GLib.Variant('(isvu)', [id, kind, new GLib.Variant('s', ''), global.get_current_time() >>> 0]),
            null, null);
    }

    activate(x, y) {
        this._call(this.path, ITEM_INTERFACE, 'Activate', new GLib.Variant('(ii)', [x, y]), null, null);
    }

    // The labels of the menu's entries; a submenu's entries follow it as
    // "submenu/entry".
    menuLabels() {
        const labels = [];
        const collect = (menu, prefix) => {
            for (const entry of menu._getMenuItems()) {
                if (entry instanceof PopupMenu.PopupSubMenuMenuItem) {
                    labels.push(prefix + entry.label.text);
                    collect(entry.menu, `${prefix}${entry.label.text}/`);
                } else if (!(entry instanceof PopupMenu.PopupSeparatorMenuItem)) {
                    labels.push(prefix + entry.label.text);
                }
            }
        };
        collect(this._button.menu, '');
        return labels;
    }

    // Activates the top-level entry with the label as a click on it does.
    chooseEntry(label) {
        const entry = this._button.menu._getMenuItems().find(item =>
            item instanceof PopupMenu.PopupMenuItem && item.label.text === label && item.sensitive);
        if (!entry)
            return false;
        entry.activate(Clutter.get_current_event());
        return true;
    }
}

// The watcher: owned only while no other program serves it, and given up to
// a program that asks to replace it (a full notification-area extension).
class TrayHost {
    enable() {
        this._items = new Map();
        this._pending = 0;
        // The object is there before the name, so that a registration that
        // follows the name's new owner at once finds it.
        this._object = Gio.DBusExportedObject.wrapJSObject(WATCHER_INTERFACE, this);
        this._object.export(Gio.DBus.session, WATCHER_PATH);
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, WATCHER_NAME,
            Gio.BusNameOwnerFlags.ALLOW_REPLACEMENT, null, () => this._dropItems());
    }

    disable() {
        Gio.bus_unown_name(this._name);
        this._dropItems();
        this._object.unexport();
        this._object = null;
    }

    _dropItems() {
        for (const item of this._items.values())
            item.destroy();
        this._items.clear();
    }

    get RegisteredStatusNotifierItems() {
        return [...this._items.keys()];
    }

    get IsStatusNotifierHostRegistered() {
        return true;
    }

    get ProtocolVersion() {
        return 0;
    }

    RegisterStatusNotifierHost(_service) {
    }

    // The item is named by its bus name (its object then is the usual one) or
    // by its object path on the caller's connection.
    RegisterStatusNotifierItemAsync([service], invocation) {
        const sender = invocation.get_sender();
        const byPath = typeof service === 'string' && service.startsWith('/');
        const busName = byPath ? sender : service;
        const path = byPath ? service : DEFAULT_ITEM_PATH;
        if (typeof busName !== 'string' || busName.length === 0 || busName.length > NAME_LENGTH_LIMIT ||
            !Gio.dbus_is_name(busName) || !isObjectPath(path)) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.InvalidArgs', 'Not a status notifier item');
            return;
        }
        const key = busName + path;
        if (this._items.has(key)) {
            this._items.get(key).readProperties();
            invocation.return_value(null);
            return;
        }
        if (this._items.size >= ITEM_LIMIT || this._pending >= REGISTRATIONS_PENDING_LIMIT) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.LimitsExceeded', 'Too many items');
            return;
        }
        ++this._pending;
        Gio.DBus.session.call(busName, path, 'org.freedesktop.DBus.Properties', 'Get',
            new GLib.Variant('(ss)', [ITEM_INTERFACE, 'Id']), new GLib.VariantType('(v)'),
            Gio.DBusCallFlags.NO_AUTO_START, CALL_TIMEOUT_MS, null, (connection, result) => {
                --this._pending;
                let id = null;
                try {
                    id = connection.call_finish(result).deep_unpack()[0].deep_unpack();
                } catch (e) {
                }
                if (id !== OUR_ITEM_ID) {
                    invocation.return_dbus_error('org.freedesktop.DBus.Error.NotSupported',
                        'This panel shows only the trackball helper\'s icon');
                    return;
                }
                if (!this._object || this._items.has(key) || this._items.size >= ITEM_LIMIT) {
                    invocation.return_value(null);
                    return;
                }
                const item = new TrayItem(busName, path, gone => this._remove(key, gone));
                this._items.set(key, item);
                item.readProperties();
                invocation.return_value(null);
                this._object.emit_signal('StatusNotifierItemRegistered', new GLib.Variant('(s)', [key]));
            });
    }

    _remove(key, item) {
        if (this._items.get(key) !== item)
            return;
        this._items.delete(key);
        item.destroy();
        this._object.emit_signal('StatusNotifierItemUnregistered', new GLib.Variant('(s)', [key]));
    }

    // What the top bar shows: per item its icon, title and menu labels.
    icons() {
        return [...this._items.values()].map(item => [item.iconDescription, item.title, item.menuLabels()]);
    }

    chooseEntry(label) {
        return [...this._items.values()].some(item => item.chooseEntry(label));
    }
}
