/* exported init */
const {Gio, GLib, Meta} = imports.gi;

