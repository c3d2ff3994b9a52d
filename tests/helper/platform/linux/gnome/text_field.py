# A GTK 3 window with one text field, for the input tests on GNOME Shell:
# prints "focus" when the field has the keyboard, "key NAME" for each key
# press it gets and "text TEXT" after each change of its text, in UTF-8. Under GTK_IM_MODULE=gtk-im-context-simple the field takes no text
# input from the compositor, so text reaches it as keys or by paste only.
# Usage: /usr/bin/python3 text_field.py APP_ID

import sys

import gi

gi.require_version('Gdk', '3.0')
gi.require_version('Gtk', '3.0')
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def report(line):
    sys.stdout.buffer.write((line + '\n').encode())
    sys.stdout.buffer.flush()


def main():
    GLib.set_prgname(sys.argv[1])
    window = Gtk.Window(title='text field')
    field = Gtk.Entry()
    window.add(field)
    field.connect('focus-in-event', lambda *unused: report('focus'))
    field.connect('key-press-event',
                  lambda unused, event: report('key ' + (Gdk.keyval_name(event.keyval) or '?')))
    field.connect('changed', lambda entry: report('text ' + entry.get_text()))
    window.connect('destroy', Gtk.main_quit)
    window.show_all()
    Gtk.main()


main()
