// The helper's snippet menu on GNOME Shell: a popup menu at the pointer with
// the title, a separator and one entry per snippet, chosen by pointer or keys
// (Up, Down, Enter, Escape, as the Shell's menus are). One menu at a time; its
// answer goes back to the helper, which waits for it.

// The helper offers ten snippets; captions are cut to 128 bytes and "...".
const SNIPPET_MENU_ENTRY_LIMIT = 32;
const CAPTION_LENGTH_LIMIT = 256;
// A menu left open this long closes with nothing chosen, so the helper's
// wait ends.
const SNIPPET_MENU_OPEN_LIMIT_MS = 60000;
const NOTHING_CHOSEN = -1;

function validCaptions(title, captions) {
    return typeof title === 'string' && title.length <= CAPTION_LENGTH_LIMIT && Array.isArray(captions) &&
        captions.length <= SNIPPET_MENU_ENTRY_LIMIT &&
        captions.every(caption => typeof caption === 'string' && caption.length <= CAPTION_LENGTH_LIMIT);
}

function addChild(parent, child) {
    // Clutter 13 (Shell 46) dropped add_actor.
    if (typeof parent.add_child === 'function')
        parent.add_child(child);
    else
        parent.add_actor(child);
}

class SnippetMenuHost {
    constructor() {
        this._open = null;
    }

    // Shows the menu at the pointer; answer(index) once, with the chosen
    // entry's index or NOTHING_CHOSEN.
    show(title, captions, answer) {
        this.close();
        const [x, y] = global.get_pointer();
        const anchor = new St.Widget({x, y, width: 1, height: 1, reactive: false});
        addChild(Main.uiGroup, anchor);
        const menu = new PopupMenu.PopupMenu(anchor, 0.0, St.Side.TOP);
        menu.actor.hide();
        addChild(Main.uiGroup, menu.actor);
        const heading = new PopupMenu.PopupMenuItem(title, {reactive: false, can_focus: false});
        heading.label.set_style('font-weight: bold;');
        menu.addMenuItem(heading);
        menu.addMenuItem(new PopupMenu.PopupSeparatorMenuItem());

        const open = {anchor, menu, answer, chosen: NOTHING_CHOSEN, captions, timeout: 0, ended: false};
        captions.forEach((caption, index) => {
            const item = new PopupMenu.PopupMenuItem(caption);
            // Before the menu's own handler, which closes the menu.
            item.connect('activate', () => {
                open.chosen = index;
            });
            menu.addMenuItem(item);
        });
        const manager = new PopupMenu.PopupMenuManager(anchor);
        manager.addMenu(menu);
        menu.connect('open-state-changed', (unused, isOpen) => {
            if (!isOpen)
                this._end(open);
        });
        open.timeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, SNIPPET_MENU_OPEN_LIMIT_MS, () => {
            open.timeout = 0;
            this._end(open);
            return GLib.SOURCE_REMOVE;
        });
        this._open = open;
        menu.open(0); // no animation: keys typed at once reach it
    }

    // Where the open menu is, the pointer, and its entries: for checks from
    // outside the Shell.
    describe() {
        const [pointerX, pointerY] = global.get_pointer();
        if (!this._open)
            return [false, 0, 0, 0, 0, pointerX, pointerY, []];
        const box = this._open.menu.actor;
        const [x, y] = box.get_transformed_position();
        const [width, height] = box.get_transformed_size();
        return [true, Math.round(x), Math.round(y), Math.round(width), Math.round(height), pointerX, pointerY,
            this._open.captions];
    }

    close() {
        if (this._open)
            this._end(this._open);
    }

    _end(open) {
        if (open.ended)
            return;
        open.ended = true;
        if (this._open === open)
            this._open = null;
        if (open.timeout)
            GLib.source_remove(open.timeout);
        open.answer(open.chosen);
        // Destroyed once the menu's own handlers of this close have run.
        GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            open.menu.destroy();
            open.anchor.destroy();
            return GLib.SOURCE_REMOVE;
        });
        if (open.menu.isOpen)
            open.menu.close(0);
    }
}
