// resource:///org/gnome/shell/ui/main.js: the parts the extension uses: the
// UI group, the top bar's status area and the input method.
const {St} = globalThis.obxHarness.gi;

export const uiGroup = new St.Widget();

export const panel = {
    statusArea: {},
    addToStatusArea(role, indicator, position = 1, box = 'right') {
        if (this.statusArea[role])
            throw new Error(`Extension point conflict: there is already a status indicator for role ${role}`);
        this.statusArea[role] = indicator;
        indicator.connect('destroy', () => delete this.statusArea[role]);
        globalThis.obxHarness.statusArea = {role, indicator, position, box};
        return indicator;
    },
};

export const inputMethod = {
    currentFocus: null,
    committed: [],
    commit(text) {
        this.committed.push(text);
    },
};
