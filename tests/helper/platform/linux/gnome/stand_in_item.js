// A StatusNotifierItem of another program than the helper, for the top bar's
// checks: it serves an item with the Id given as its argument and an
// oversized menu and icon, registers with the watcher, and prints the
// watcher's answer ("registered" or "refused NAME"), each menu event
// ("event ID KIND") and each activation ("activate"). Choosing the first
// entry changes the icon and the menu.
// Usage: gjs stand_in_item.js ID
const {Gio, GLib} = imports.gi;

const BUS_NAME = 'org.example.StandInItem';
const ITEM_INTERFACE = `
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="Activate">
      <arg type="i" direction="in"/>
      <arg type="i" direction="in"/>
    </method>
    <signal name="NewIcon"/>
  </interface>
</node>`;
const MENU_INTERFACE = `
<node>
  <interface name="com.canonical.dbusmenu">
    <method name="GetLayout">
      <arg type="i" direction="in"/>
      <arg type="i" direction="in"/>
      <arg type="as" direction="in"/>
      <arg type="u" direction="out"/>
      <arg type="(ia{sv}av)" direction="out"/>
    </method>
    <method name="Event">
      <arg type="i" direction="in"/>
      <arg type="s" direction="in"/>
      <arg type="v" direction="in"/>
      <arg type="u" direction="in"/>
    </method>
    <signal name="LayoutUpdated">
      <arg type="u"/>
      <arg type="i"/>
    </signal>
  </interface>
</node>`;

const pixmap = (side, length) => [side, side, new Uint8Array(length).fill(0xff)];

// An entry's (ia{sv}av) unpacked; its children are packed.
function layout(id, properties, children = []) {
    const packed = {};
    for (const [key, value] of Object.entries(properties))
        packed[key] = typeof value === 'boolean' ? new GLib.Variant('b', value) : new GLib.Variant('s', value);
    return [id, packed, children];
}

const entry = (...args) => new GLib.Variant('(ia{sv}av)', layout(...args));

// A submenu chain ten levels deep, whatever depth is asked for.
function chain(id, levels) {
    const children = levels > 1 ? [chain(id + 1, levels - 1)] : [];
    return entry(id, {'label': 'Deep', 'children-display': 'submenu'}, children);
}

const rootChildren = [
    entry(1, {'label': '_Open__it'}),
    entry(2, {'label': 'Hidden', 'visible': false}),
    entry(3, {'type': 'separator'}),
    chain(10, 10),
];
for (let i = 0; i < 100; ++i)
    rootChildren.push(entry(100 + i, {'label': `Entry ${i}`}));

const item = {
    Id: ARGV[0],
    Title: 'Stand-in',
    IconName: 'dialog-information',
    // Too short for its size, of the right size twice, and far too large.
    IconPixmap: [pixmap(16, 10), pixmap(48, 48 * 48 * 4), pixmap(24, 24 * 24 * 4), pixmap(512, 4)],
    ToolTip: ['', [], 'T'.repeat(500), ''],
    Menu: '/MenuBar',
    Activate() {
        print('activate');
    },
};
const menu = {
    GetLayout() {
        return [2, layout(0, {'children-display': 'submenu'}, rootChildren)];
    },
    // The first entry's click leaves the theme icon and the first entry
    // only, announced in a burst of signals.
    Event(id, kind) {
        print(`event ${id} ${kind}`);
        if (id !== 1 || kind !== 'clicked')
            return;
        item.IconPixmap = [];
        rootChildren.length = 1;
        for (let i = 0; i < 20; ++i) {
            itemObject.emit_signal('NewIcon', null);
            menuObject.emit_signal('LayoutUpdated', new GLib.Variant('(ui)', [2 + i, 0]));
        }
    },
};

const loop = new GLib.MainLoop(null, false);
const bus = Gio.DBus.session;
const itemObject = Gio.DBusExportedObject.wrapJSObject(ITEM_INTERFACE, item);
itemObject.export(bus, '/StatusNotifierItem');
const menuObject = Gio.DBusExportedObject.wrapJSObject(MENU_INTERFACE, menu);
menuObject.export(bus, '/MenuBar');
Gio.bus_own_name_on_connection(bus, BUS_NAME, Gio.BusNameOwnerFlags.NONE, () => {
    bus.call('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher', 'org.kde.StatusNotifierWatcher',
        'RegisterStatusNotifierItem', new GLib.Variant('(s)', [BUS_NAME]), null, Gio.DBusCallFlags.NONE, 5000, null,
        (connection, result) => {
            try {
                connection.call_finish(result);
                print('registered');
            } catch (e) {
                print(`refused ${Gio.DBusError.get_remote_error(e)}`);
            }
        });
}, () => loop.quit());
loop.run();
