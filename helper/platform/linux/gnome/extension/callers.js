// Who may use the bridge: the helper alone. It types text and closes windows,
// which GNOME keeps from ordinary clients, and its signals tell which program
// has the focus. The bus daemon tells each caller's process and user
// (GetConnectionCredentials); the process's program (/proc/PID/exe) decides
// (isHelperProgram, from the build's caller rule). A unique bus name is never
// given twice, so each caller's verdict is kept until it leaves the bus.

const CALLER_CHECK_TIMEOUT_MS = 2000;
// Callers of the user's session bus; the oldest verdict goes first.
const CALLER_VERDICT_LIMIT = 64;

function programOf(pid) {
    if (typeof pid !== 'number' || pid <= 0)
        return null;
    try {
        return GLib.file_read_link(`/proc/${pid}/exe`);
    } catch (e) {
        return null;
    }
}

class HelperCallers {
    constructor(connection) {
        this._connection = connection;
        this._shellUid = new Gio.Credentials().get_unix_user();
        this._verdicts = new Map();
        this._subscription = connection.signal_subscribe('org.freedesktop.DBus', 'org.freedesktop.DBus',
            'NameOwnerChanged', '/org/freedesktop/DBus', null, Gio.DBusSignalFlags.NONE,
            (unusedConnection, unusedSender, unusedPath, unusedInterface, unusedSignal, parameters) => {
                const [name, , owner] = parameters.deep_unpack();
                if (owner === '' && name.startsWith(':'))
                    this._verdicts.delete(name);
            });
    }

    destroy() {
        this._connection.signal_unsubscribe(this._subscription);
        this._verdicts.clear();
    }

    // The helper's connections that the bridge has answered.
    helpers() {
        return [...this._verdicts].filter(([, isHelper]) => isHelper).map(([name]) => name);
    }

    // then(isHelper) once, when the bus daemon answered (or not, in time).
    check(sender, then) {
        if (this._verdicts.has(sender)) {
            then(this._verdicts.get(sender));
            return;
        }
        this._connection.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetConnectionCredentials', new GLib.Variant('(s)', [sender]), new GLib.VariantType('(a{sv})'),
            Gio.DBusCallFlags.NONE, CALLER_CHECK_TIMEOUT_MS, null, (connection, result) => {
                let isHelper = false;
                try {
                    const [credentials] = connection.call_finish(result).deep_unpack();
                    const uid = credentials.UnixUserID?.deep_unpack();
                    isHelper = isHelperProgram(programOf(credentials.ProcessID?.deep_unpack()), uid,
                        this._shellUid);
                } catch (e) {
                    // A caller that left, or a daemon that does not answer: not the helper.
                }
                this._remember(sender, isHelper);
                then(isHelper);
            });
    }

    _remember(sender, isHelper) {
        this._verdicts.delete(sender);
        if (this._verdicts.size >= CALLER_VERDICT_LIMIT)
            this._verdicts.delete(this._verdicts.keys().next().value);
        this._verdicts.set(sender, isHelper);
    }
}

// An implementation of the interface whose every method first checks its
// caller; others are answered with AccessDenied. Methods of the
// implementation are plain (the return value is the reply's) or Async (they
// answer the invocation themselves), as Gio.DBusExportedObject takes them.
function helperOnly(interfaceXml, implementation, callers) {
    const info = Gio.DBusInterfaceInfo.new_for_xml(interfaceXml);
    const guarded = {};
    for (const method of info.methods) {
        const outSignature = `(${method.out_args.map(arg => arg.signature).join('')})`;
        const reply = (invocation, value) => {
            if (method.out_args.length === 0)
                invocation.return_value(null);
            else
                invocation.return_value(new GLib.Variant(outSignature, method.out_args.length === 1 ? [value] : value));
        };
        guarded[`${method.name}Async`] = (parameters, invocation) => {
            callers.check(invocation.get_sender(), isHelper => {
                if (!isHelper) {
                    invocation.return_dbus_error('org.freedesktop.DBus.Error.AccessDenied',
                        'Only the trackball helper may use this bridge');
                    return;
                }
                try {
                    const asynchronous = implementation[`${method.name}Async`];
                    if (asynchronous)
                        asynchronous.call(implementation, parameters, invocation);
                    else
                        reply(invocation, implementation[method.name](...parameters));
                } catch (e) {
                    logError(e, `obxhelper: ${method.name}`);
                    invocation.return_dbus_error('org.freedesktop.DBus.Error.Failed', e.message);
                }
            });
        };
    }
    return guarded;
}
