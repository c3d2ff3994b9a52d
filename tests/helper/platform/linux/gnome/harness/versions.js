// What the extension meets differently in each GNOME Shell it is checked
// against, read from the sources of gnome-shell and mutter at the tags 45.0,
// 48.0, 49.0, 50.0 and 51.beta (51 had no later tag when this was written).
// The stand-ins take only what that version takes.
export const VERSIONS = {
    // Clutter 13: ClutterContainer's add_actor() still there.
    45: {addActor: true, maximizeTakesFlags: true, panelClickGesture: false},
    // Clutter 14 (GNOME 46) dropped add_actor().
    48: {addActor: false, maximizeTakesFlags: true, panelClickGesture: false},
    // Mutter 49: maximize() and unmaximize() take no flags, is_maximized()
    // replaced get_maximized().
    49: {addActor: false, maximizeTakesFlags: false, panelClickGesture: false},
    // GNOME 50: PanelMenu.Button toggles its menu from a Clutter.ClickGesture
    // recognized on the press, which sees the event before the button does.
    50: {addActor: false, maximizeTakesFlags: false, panelClickGesture: true},
    51: {addActor: false, maximizeTakesFlags: false, panelClickGesture: true},
};

// The version under test, set by the driver before the extension loads.
export function current() {
    return VERSIONS[globalThis.obxHarness.version];
}

// A method that takes exactly count arguments, as GJS insists for
// introspected functions (it warns, and the stand-in fails).
export function takes(name, count, args) {
    if (args.length !== count)
        throw new Error(`${name} takes ${count} arguments in GNOME ${globalThis.obxHarness.version}, got ${args.length}`);
}
