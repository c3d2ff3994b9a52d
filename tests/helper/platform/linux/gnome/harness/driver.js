// Loads the module-style extension as installed against the stand-ins of one
// GNOME version and drives it as that Shell would: enable, a focus change,
// each window command, a snippet offered over a password manager's secret on
// the clipboard, our top-bar icon's primary and secondary click (a
// stand-in item on the session bus, as the helper's), and disable. Any call
// the version does not take fails. Run under its own session bus.
// Usage: gjs -m driver.js VERSION EXTENSION_DIR SHELL_GRESOURCE
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import System from 'system';

import {VERSIONS} from './versions.js';

const [version, extensionDir, resource] = ARGV;
if (!VERSIONS[version])
    throw new Error(`no stand-ins for GNOME ${version}`);
globalThis.obxHarness = {version, versionTraits: VERSIONS[version], devices: [], statusArea: null};
Gio.Resource.load(resource)._register();

const Clutter = (await import('./gi/Clutter.js')).default;
const Meta = (await import('./gi/Meta.js')).default;
const St = (await import('./gi/St.js')).default;
const {press} = await import('./gi/Clutter.js');
globalThis.obxHarness.gi = {Clutter, St};

// The Shell's global: the display and its focus, the window actors.
class Display {
    constructor() {
        // A password manager's secret on the clipboard.
        this._selection = {
            owners: 0,
            connect: () => 1,
            disconnect() {},
            get_mimetypes: () => ['text/plain;charset=utf-8', 'x-kde-passwordManagerHint'],
            set_owner() {
                ++this.owners;
            },
            unset_owner() {},
        };
        this.focus_window = null;
        this._handlers = new Map();
        this._nextHandler = 1;
    }

    connect(signal, handler) {
        if (signal !== 'notify::focus-window')
            throw new Error(`the display has no signal ${signal} in this stand-in`);
        this._handlers.set(this._nextHandler, handler);
        return this._nextHandler++;
    }

    disconnect(id) {
        if (!this._handlers.delete(id))
            throw new Error(`no handler ${id} on the display`);
    }

    focus(window) {
        this.focus_window = window;
        for (const handler of this._handlers.values())
            handler(this);
    }

    get_selection() {
        return this._selection;
    }
}
const editor = new Meta.Window(11, 4001, 'org.example.Editor');
const viewer = new Meta.Window(12, 4002, 'org.example.Viewer');
globalThis.global = {
    display: new Display(),
    get_window_actors: () => [editor, viewer].map(meta_window => ({meta_window})),
    get_current_time: () => 1000,
    get_pointer: () => [0, 0, 0],
};

function check(condition, what) {
    if (!condition)
        throw new Error(`GNOME ${version}: ${what}`);
}

function wait(condition, what) {
    const deadline = GLib.get_monotonic_time() + 5 * GLib.USEC_PER_SEC;
    const context = GLib.MainContext.default();
    while (!condition() && GLib.get_monotonic_time() < deadline)
        context.iteration(false) || GLib.usleep(1000);
    check(condition(), what);
}

// A stand-in of the helper's item: what the icon's clicks reach.
const ITEM = `<node><interface name="org.kde.StatusNotifierItem">
  <method name="Activate"><arg type="i" direction="in"/><arg type="i" direction="in"/></method>
  <property name="Id" type="s" access="read"/><property name="Title" type="s" access="read"/>
</interface></node>`;
const item = {
    activations: 0,
    Id: 'obxhelper',
    Title: 'Trackball helper',
    Activate() {
        ++this.activations;
    },
};
const itemObject = Gio.DBusExportedObject.wrapJSObject(ITEM, item);
itemObject.export(Gio.DBus.session, '/StatusNotifierItem');

const {default: ObxHelperExtension} = await import(`file://${extensionDir}/extension.js`);
const metadata = JSON.parse(new TextDecoder().decode(GLib.file_get_contents(`${extensionDir}/metadata.json`)[1]));
check(metadata['shell-version'].includes(version), 'metadata.json does not list it');
const extension = new ObxHelperExtension({...metadata, dir: Gio.File.new_for_path(extensionDir), path: extensionDir});
extension.enable();

const owned = name => {
    const reply = Gio.DBus.session.call_sync('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
        'NameHasOwner', new GLib.Variant('(s)', [name]), null, Gio.DBusCallFlags.NONE, 2000, null);
    return reply.deep_unpack()[0];
};
wait(() => owned('org.obx.ShellBridge'), 'the bridge does not own its name');
const bridge = extension._bridge;

global.display.focus(editor);
check(JSON.stringify(bridge.GetFocus()) === JSON.stringify([4001, 'org.example.Editor', 11]), 'the focus is not told');

check(bridge.RunWindowCommand('maximizeWindow') && editor.maximized, 'maximizeWindow does not maximize');
check(bridge.RunWindowCommand('maximizeWindow') && !editor.maximized, 'maximizeWindow again does not restore');
check(bridge.RunWindowCommand('minimizeAll') && viewer.minimized && !editor.minimized,
    'minimizeAll does not minimize the other program only');
check(bridge.RunWindowCommand('minimizeWindow') && editor.minimized, 'minimizeWindow does not minimize');
check(bridge.RunWindowCommand('closeWindow') && editor.deleted, 'closeWindow does not close');
check(!bridge.RunWindowCommand('explode'), 'an unknown command is taken');
bridge.PressKeysym(0x61, true);
bridge.PressKeysym(0x61, false);
check(bridge.PressButton(0x110, true) && bridge.PressButton(0x110, false) && !bridge.PressButton(0x100, true),
    'buttons are not taken as evdev codes');

let offered = null;
bridge.OfferClipboardTextAsync(['a snippet'], {return_value: value => (offered = value.deep_unpack()[0])});
check(offered === false && global.display.get_selection().owners === 0,
    'a password manager\'s secret on the clipboard is replaced by a snippet');

Gio.DBus.session.call('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher', 'org.kde.StatusNotifierWatcher',
    'RegisterStatusNotifierItem', new GLib.Variant('(s)', ['/StatusNotifierItem']), null, Gio.DBusCallFlags.NONE,
    2000, null, null);
wait(() => globalThis.obxHarness.statusArea, 'the icon does not come to the top bar');
const button = globalThis.obxHarness.statusArea.indicator;
press(button, Clutter.BUTTON_PRIMARY);
wait(() => item.activations === 1, 'the primary click does not activate the item');
check(button.menu.toggles === 0, 'the primary click opens the menu');
press(button, Clutter.BUTTON_SECONDARY);
check(button.menu.toggles === 1 && button.menu.isOpen, 'the secondary click does not open the menu');
wait(() => true, '');
check(item.activations === 1, 'the secondary click activates the item');

extension.disable();
wait(() => !owned('org.obx.ShellBridge'), 'the bridge keeps its name after disable');
check(button.destroyed, 'the icon stays in the top bar after disable');
check(globalThis.obxHarness.devices.every(device => device.disposed), 'the virtual devices stay after disable');
print(`GNOME ${version}: enable, focus, window commands, input, the icon's clicks and disable pass`);
System.exit(0);
