// Input for the helper. Keys and buttons come from virtual devices of the
// Shell's own seat, as the Shell's on-screen keyboard makes them: Mutter
// presses the key that gives a keysym in the current layout (adding Shift or
// AltGr), as for a remote desktop session, but no session exists, so the
// Shell shows no screen-sharing indicator. Text beyond the layout needs the
// Shell too: a commit through its input method when the focused client takes
// text input, else the clipboard and a paste, after which the user's earlier
// clipboard content comes back.

// The evdev codes of the mouse's buttons (BTN_LEFT to BTN_TASK).
const FIRST_BUTTON_CODE = 0x110;
const LAST_BUTTON_CODE = 0x117;

function isButtonCode(code) {
    return Number.isInteger(code) && code >= FIRST_BUTTON_CODE && code <= LAST_BUTTON_CODE;
}

// Virtual devices take Clutter's button numbers, which Mutter turns back into
// evdev codes: 1, 2, 3 for left, middle, right, and the others after the
// wheel's old 4 to 7.
function clutterButton(code) {
    const byCode = {0x110: Clutter.BUTTON_PRIMARY, 0x111: Clutter.BUTTON_SECONDARY, 0x112: Clutter.BUTTON_MIDDLE};
    return byCode[code] ?? code - (FIRST_BUTTON_CODE - 1) + 4;
}

// The devices are made at the first input and go with the extension, which
// releases what they still hold.
class VirtualInput {
    constructor() {
        this._keyboard = null;
        this._pointer = null;
    }

    _device(type) {
        return Clutter.get_default_backend().get_default_seat().create_virtual_device(type);
    }

    keysym(keysym, pressed) {
        this._keyboard ??= this._device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        this._keyboard.notify_keyval(GLib.get_monotonic_time(), keysym,
            pressed ? Clutter.KeyState.PRESSED : Clutter.KeyState.RELEASED);
    }

    button(code, pressed) {
        this._pointer ??= this._device(Clutter.InputDeviceType.POINTER_DEVICE);
        this._pointer.notify_button(GLib.get_monotonic_time(), clutterButton(code),
            pressed ? Clutter.ButtonState.PRESSED : Clutter.ButtonState.RELEASED);
    }

    destroy() {
        for (const device of [this._keyboard, this._pointer])
            device?.run_dispose();
        this._keyboard = null;
        this._pointer = null;
    }
}

// A snippet comes from any client of the user's session bus.
const SNIPPET_LENGTH_LIMIT = 65536;
// The clipboard's earlier content is kept up to this size, read within this
// time; when it cannot be kept, no snippet is offered, so the user's content
// stays.
const KEPT_CLIPBOARD_LIMIT = 16 * 1024 * 1024;
const KEEP_TIMEOUT_MS = 1000;
// The paste reads the clipboard when its key arrives, a few milliseconds after
// the offer. The Shell does not tell when a client read it (a source that
// would know cannot be written in GJS), so the earlier content comes back
// after this long. A busy machine's client can take seconds to ask for the
// paste, and one that asks after the give-back pastes the earlier content
// instead of the snippet; the user's later copy ends the loan at once anyway.
const OFFER_LIFETIME_MS = 5000;
const SNIPPET_TYPE = 'text/plain;charset=utf-8';
const PASSWORD_HINT_TYPE = 'x-kde-passwordManagerHint';
const TEXT_TYPES = [SNIPPET_TYPE, 'UTF8_STRING', 'text/plain', 'STRING', 'TEXT'];

function validSnippet(text) {
    return typeof text === 'string' && text.length > 0 && text.length <= SNIPPET_LENGTH_LIMIT;
}

// Whether the focused client takes text from an input method
// (text-input-v3 on Wayland).
function takesTextInput() {
    return Main.inputMethod && Main.inputMethod.currentFocus !== null &&
        Main.inputMethod.currentFocus !== undefined;
}

// A commit is one Wayland message, which carries at most 4096 bytes (a longer
// one arrives empty): it takes at most this many UTF-16 units, 1,500 bytes of
// UTF-8 at most. The helper pastes longer texts.
const COMMIT_LENGTH_LIMIT = 500;

function commitText(text) {
    if (typeof text !== 'string' || text.length === 0 || text.length > COMMIT_LENGTH_LIMIT || !takesTextInput())
        return false;
    Main.inputMethod.commit(text);
    return true;
}

function preferredType(mimetypes) {
    return TEXT_TYPES.find(type => mimetypes.includes(type)) ??
        mimetypes[0] ?? null;
}

// The clipboard lent to one snippet at a time.
class ClipboardLoan {
    constructor() {
        this._selection = global.display.get_selection();
        this._offer = null;
        this._kept = null;
        this._timeout = 0;
        this._ownerHandler = 0;
    }

    // Keeps what the clipboard holds, then offers the text; calls done(offered).
    offer(text, done) {
        if (!validSnippet(text)) {
            done(false);
            return;
        }
        this._giveBack();
        this._keep(kept => {
            if (!kept) {
                done(false);
                return;
            }
            this._kept = kept.bytes ? kept : null;
            // From Mutter 48 the source is an anonymous file, which can fail.
            try {
                this._offer = Meta.SelectionSourceMemory.new(SNIPPET_TYPE,
                    new GLib.Bytes(new TextEncoder().encode(text)));
            } catch (e) {
                log(`obxhelper: the snippet cannot be offered on the clipboard: ${e.message}`);
                this._kept = null;
                done(false);
                return;
            }
            this._selection.set_owner(Meta.SelectionType.SELECTION_CLIPBOARD, this._offer);
            // Someone taking the clipboard after us keeps it.
            this._ownerHandler = this._selection.connect('owner-changed', (selection, type, source) => {
                if (type === Meta.SelectionType.SELECTION_CLIPBOARD && source !== this._offer)
                    this._forget();
            });
            this._restoreIn(OFFER_LIFETIME_MS);
            done(true);
        });
    }

    disable() {
        this._giveBack();
    }

    // then({type, bytes}) with the content, {} for an empty clipboard, or
    // null when the content cannot be kept.
    _keep(then) {
        const mimetypes = this._selection.get_mimetypes(Meta.SelectionType.SELECTION_CLIPBOARD);
        // A source of the Shell's carries one type: a password manager's
        // secret would come back without its hint, for clipboard histories
        // to keep. It stays where it is.
        if (mimetypes.includes(PASSWORD_HINT_TYPE)) {
            log('obxhelper: the clipboard holds a password manager\'s secret; no snippet is pasted');
            then(null);
            return;
        }
        const type = preferredType(mimetypes);
        if (!type) {
            then({});
            return;
        }
        const output = Gio.MemoryOutputStream.new_resizable();
        const cancellable = new Gio.Cancellable();
        const timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, KEEP_TIMEOUT_MS, () => {
            cancellable.cancel();
            return GLib.SOURCE_REMOVE;
        });
        this._selection.transfer_async(Meta.SelectionType.SELECTION_CLIPBOARD, type, KEPT_CLIPBOARD_LIMIT + 1,
            output, cancellable, (selection, result) => {
                if (!cancellable.is_cancelled())
                    GLib.source_remove(timeout);
                let kept = null;
                try {
                    selection.transfer_finish(result);
                    output.close(null);
                    const bytes = output.steal_as_bytes();
                    if (bytes.get_size() <= KEPT_CLIPBOARD_LIMIT)
                        kept = {type, bytes};
                    else
                        log('obxhelper: the clipboard holds more than the helper keeps; no snippet is pasted');
                } catch (e) {
                    log(`obxhelper: the clipboard's content could not be kept, no snippet is pasted: ${e.message}`);
                }
                then(kept);
            });
    }

    _restoreIn(delay) {
        if (this._timeout)
            GLib.source_remove(this._timeout);
        this._timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, delay, () => {
            this._timeout = 0;
            this._giveBack();
            return GLib.SOURCE_REMOVE;
        });
    }

    // The earlier content back, unless someone else took the clipboard since
    // (then the offer is already forgotten).
    _giveBack() {
        const offer = this._offer;
        const kept = this._kept;
        this._forget();
        if (!offer)
            return;
        let earlier = null;
        try {
            earlier = kept ? Meta.SelectionSourceMemory.new(kept.type, kept.bytes) : null;
        } catch (e) {
            log(`obxhelper: the clipboard's earlier content cannot be given back: ${e.message}`);
        }
        if (earlier) {
            this._selection.set_owner(Meta.SelectionType.SELECTION_CLIPBOARD, earlier);
        } else {
            this._selection.unset_owner(Meta.SelectionType.SELECTION_CLIPBOARD, offer);
        }
    }

    _forget() {
        if (this._timeout) {
            GLib.source_remove(this._timeout);
            this._timeout = 0;
        }
        if (this._ownerHandler) {
            this._selection.disconnect(this._ownerHandler);
            this._ownerHandler = 0;
        }
        this._offer = null;
        this._kept = null;
    }
}
