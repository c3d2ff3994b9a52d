const {Clutter, GdkPixbuf, Gio, GLib, GObject, Meta} = imports.gi;
// The Shell's own parts exist only inside the Shell.
const {St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
const PopupMenu = imports.ui.popupMenu;
