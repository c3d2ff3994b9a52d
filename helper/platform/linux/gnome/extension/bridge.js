// The bridge between GNOME Shell and obxhelper: the helper cannot see the
// focused window or act on windows on a Wayland session, so the Shell tells
// it over the session bus, to the helper alone (callers.js). Shared by both
// entry styles; the build puts it between the header and footer of each.

const BUS_NAME = 'org.obx.ShellBridge';
const OBJECT_PATH = '/org/obx/ShellBridge';
const INTERFACE_NAME = 'org.obx.ShellBridge1';
const INTERFACE = `
<node>
  <interface name="org.obx.ShellBridge1">
    <method name="GetFocus">
      <arg type="u" direction="out" name="pid"/>
      <arg type="s" direction="out" name="appId"/>
      <arg type="t" direction="out" name="window"/>
    </method>
    <method name="RunWindowCommand">
      <arg type="s" direction="in" name="command"/>
      <arg type="b" direction="out" name="done"/>
    </method>
    <method name="GetModifiers">
      <arg type="u" direction="out" name="mask"/>
    </method>
    <method name="PressKeysym">
      <arg type="u" direction="in" name="keysym"/>
      <arg type="b" direction="in" name="pressed"/>
    </method>
    <method name="PressButton">
      <arg type="u" direction="in" name="code"/>
      <arg type="b" direction="in" name="pressed"/>
      <arg type="b" direction="out" name="known"/>
    </method>
    <method name="CommitText">
      <arg type="s" direction="in" name="text"/>
      <arg type="b" direction="out" name="committed"/>
    </method>
    <method name="OfferClipboardText">
      <arg type="s" direction="in" name="text"/>
      <arg type="b" direction="out" name="offered"/>
    </method>
    <method name="ShowSnippetMenu">
      <arg type="s" direction="in" name="title"/>
      <arg type="as" direction="in" name="captions"/>
      <arg type="i" direction="out" name="chosen"/>
    </method>
    <signal name="FocusChanged">
      <arg type="u" name="pid"/>
      <arg type="s" name="appId"/>
      <arg type="t" name="window"/>
    </signal>
  </interface>
</node>`;

// A command's argument comes from any client of the user's session bus:
// longer names are no command.
const COMMAND_LENGTH_LIMIT = 64;

// Mutter 49 (GNOME 49) maximizes both ways without flags and tells with
// is_maximized(); before, both took MaximizeFlags.
function isMaximized(window) {
    if (typeof window.is_maximized === 'function')
        return window.is_maximized();
    return window.get_maximized() === Meta.MaximizeFlags.BOTH;
}

function maximize(window, on) {
    const flags = typeof window.is_maximized === 'function' ? [] : [Meta.MaximizeFlags.BOTH];
    if (on)
        window.maximize(...flags);
    else
        window.unmaximize(...flags);
}

function userWindows() {
    return global.get_window_actors()
        .map(actor => actor.meta_window)
        .filter(window => window && window.get_window_type() === Meta.WindowType.NORMAL &&
            !window.is_skip_taskbar());
}

class ShellBridge {
    enable() {
        this._tray = new TrayHost();
        this._tray.enable();
        this._clipboard = new ClipboardLoan();
        this._input = new VirtualInput();
        this._snippetMenu = new SnippetMenuHost();
        this._callers = new HelperCallers(Gio.DBus.session);
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, helperOnly(INTERFACE, this, this._callers));
        this._object.export(Gio.DBus.session, OBJECT_PATH);
        this._testInterface = exportTestInterface(this);
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._focusHandler = global.display.connect('notify::focus-window', () => this._announceFocus());
    }

    disable() {
        global.display.disconnect(this._focusHandler);
        Gio.bus_unown_name(this._name);
        this._testInterface?.unexport();
        this._testInterface = null;
        this._object.unexport();
        this._object = null;
        this._callers.destroy();
        this._callers = null;
        this._tray.disable();
        this._tray = null;
        this._snippetMenu.close();
        this._snippetMenu = null;
        this._clipboard.disable();
        this._clipboard = null;
        this._input.destroy();
        this._input = null;
    }

    // To the helper's connections only: the focus tells which program the
    // user works in.
    _announceFocus() {
        const focus = new GLib.Variant('(ust)', this.GetFocus());
        for (const helper of this._callers.helpers()) {
            try {
                Gio.DBus.session.emit_signal(helper, OBJECT_PATH, INTERFACE_NAME, 'FocusChanged', focus);
            } catch (e) {
                // A connection that left meanwhile.
            }
        }
    }

    GetFocus() {
        const window = global.display.focus_window;
        if (!window)
            return [0, '', 0];
        return [Math.max(window.get_pid(), 0), window.get_wm_class() ?? '', window.get_id()];
    }

    RunWindowCommand(command) {
        if (typeof command !== 'string' || command.length > COMMAND_LENGTH_LIMIT)
            return false;
        const window = global.display.focus_window;
        const time = global.get_current_time();
        switch (command) {
        case 'closeWindow':
            if (window && window.can_close())
                window.delete(time);
            return true;
        case 'minimizeWindow':
            if (window && window.can_minimize())
                window.minimize();
            return true;
        case 'maximizeWindow':
            // A maximized window is restored, as its title bar button does.
            if (window && window.can_maximize())
                maximize(window, !isMaximized(window));
            return true;
        case 'minimizeAll': {
            // Every window but those of the focused window's process.
            const pid = window ? window.get_pid() : -1;
            for (const other of userWindows()) {
                if (other !== window && (pid <= 0 || other.get_pid() !== pid) && other.can_minimize() &&
                    !other.minimized)
                    other.minimize();
            }
            return true;
        }
        default:
            return false;
        }
    }

    GetModifiers() {
        const [, , mask] = global.get_pointer();
        return mask;
    }

    PressKeysym(keysym, pressed) {
        this._input.keysym(keysym, pressed);
    }

    // False for a code that is no mouse button's.
    PressButton(code, pressed) {
        if (!isButtonCode(code))
            return false;
        this._input.button(code, pressed);
        return true;
    }

    // Exact text for the helper when the focused client takes text input.
    CommitText(text) {
        return commitText(text);
    }

    // The text on the clipboard for a paste the helper then types; the
    // earlier content comes back after the paste read it.
    OfferClipboardTextAsync([text], invocation) {
        this._clipboard.offer(text, offered => invocation.return_value(new GLib.Variant('(b)', [offered])));
    }

    // Answers once the user chose (the entry's index) or dismissed the menu
    // (-1).
    ShowSnippetMenuAsync([title, captions], invocation) {
        if (!validCaptions(title, captions)) {
            invocation.return_dbus_error('org.freedesktop.DBus.Error.LimitsExceeded',
                'too many or too long snippet captions');
            return;
        }
        this._snippetMenu.show(title, captions, chosen => invocation.return_value(new GLib.Variant('(i)', [chosen])));
    }
}
