// resource:///org/gnome/shell/ui/popupMenu.js: menus that keep their items
// and whether they are open.
const {St} = globalThis.obxHarness.gi;

class PopupBaseMenuItem extends St.Widget {
    constructor(params = {}) {
        super(params);
        this.sensitive = true;
    }

    setSensitive(sensitive) {
        this.sensitive = sensitive;
    }

    activate(event) {
        this.emit('activate', event);
    }
}

export class PopupMenuItem extends PopupBaseMenuItem {
    constructor(text, params) {
        super(params);
        this.label = new St.Label({text});
    }
}

export class PopupSeparatorMenuItem extends PopupBaseMenuItem {}

class PopupMenuBase {
    constructor(sourceActor) {
        this.sourceActor = sourceActor;
        this.actor = new St.Widget();
        this.isOpen = false;
        this._items = [];
        this._handlers = [];
        this.toggles = 0;
    }

    addMenuItem(item) {
        this._items.push(item);
    }

    _getMenuItems() {
        return this._items;
    }

    removeAll() {
        this._items = [];
    }

    connect(signal, handler) {
        if (signal !== 'open-state-changed')
            throw new Error(`PopupMenu has no signal ${signal} in this stand-in`);
        this._handlers.push(handler);
        return this._handlers.length;
    }

    open(_animate) {
        this.isOpen = true;
        this._handlers.forEach(handler => handler(this, true));
    }

    close(_animate) {
        if (!this.isOpen)
            return;
        this.isOpen = false;
        this._handlers.forEach(handler => handler(this, false));
    }

    toggle() {
        ++this.toggles;
        if (this.isOpen)
            this.close();
        else
            this.open();
    }

    destroy() {
        this.actor.destroy();
    }
}

export class PopupMenu extends PopupMenuBase {
    constructor(...args) {
        if (args.length !== 3)
            throw new Error(`PopupMenu takes 3 arguments, got ${args.length}`);
        super(args[0]);
    }
}

export class PopupSubMenuMenuItem extends PopupBaseMenuItem {
    constructor(text) {
        super();
        this.label = new St.Label({text});
        this.menu = new PopupMenuBase(this);
    }
}

export class PopupMenuManager {
    constructor(owner) {
        this.owner = owner;
        this.menus = [];
    }

    addMenu(menu) {
        this.menus.push(menu);
    }
}

