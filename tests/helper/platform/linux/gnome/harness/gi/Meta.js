// A stand-in of Mutter's windows, display and selection. maximize() takes
// flags or none, as the version under test does.
import {current, takes} from '../versions.js';

const MaximizeFlags = {HORIZONTAL: 1, VERTICAL: 2, BOTH: 3};
const WindowType = {NORMAL: 0, DIALOG: 3};
const SelectionType = {SELECTION_PRIMARY: 0, SELECTION_CLIPBOARD: 1};

export class Window {
    constructor(id, pid, wmClass) {
        Object.assign(this, {_id: id, _pid: pid, _wmClass: wmClass});
        this.maximized = false;
        this.minimized = false;
        this.deleted = false;
        if (current().maximizeTakesFlags) {
            this.get_maximized = (...args) => {
                takes('Meta.Window.get_maximized', 0, args);
                return this.maximized ? MaximizeFlags.BOTH : 0;
            };
        } else {
            this.is_maximized = (...args) => {
                takes('Meta.Window.is_maximized', 0, args);
                return this.maximized;
            };
        }
    }

    _maximizeArguments(name, args) {
        if (current().maximizeTakesFlags) {
            takes(name, 1, args);
            if (args[0] !== MaximizeFlags.BOTH)
                throw new Error(`${name}: not both directions`);
        } else {
            takes(name, 0, args);
        }
    }

    maximize(...args) {
        this._maximizeArguments('Meta.Window.maximize', args);
        this.maximized = true;
    }

    unmaximize(...args) {
        this._maximizeArguments('Meta.Window.unmaximize', args);
        this.maximized = false;
    }

    minimize(...args) {
        takes('Meta.Window.minimize', 0, args);
        this.minimized = true;
    }

    delete(...args) {
        takes('Meta.Window.delete', 1, args);
        this.deleted = true;
    }

    get_pid() {
        return this._pid;
    }

    get_wm_class() {
        return this._wmClass;
    }

    get_id() {
        return this._id;
    }

    get_window_type() {
        return WindowType.NORMAL;
    }

    is_skip_taskbar() {
        return false;
    }

    can_close() {
        return true;
    }

    can_minimize() {
        return true;
    }

    can_maximize() {
        return true;
    }
}

export const SelectionSourceMemory = {
    new(...args) {
        takes('Meta.SelectionSourceMemory.new', 2, args);
        return {mimetype: args[0], bytes: args[1]};
    },
};

export default {Window, MaximizeFlags, WindowType, SelectionType, SelectionSourceMemory};
