#!/bin/sh
# Loads both entry files of our GNOME Shell extension in gjs, outside a Shell:
# each must parse and find Mutter's and the Shell's typelibs, failing only
# where it imports the Shell's own JavaScript (the script style's imports.ui,
# the module style's resource:///org/gnome/shell/...), which exists only in a
# Shell.
# Usage: check_extension_entries.sh ENTRIES_DIR
set -eu
entries=$1
typelibs=$(ls -d /usr/lib/*/mutter-* 2>/dev/null | head -n 1)
export GI_TYPELIB_PATH="$typelibs:/usr/lib/gnome-shell"
export LD_LIBRARY_PATH="$typelibs:/usr/lib/gnome-shell"
failed=0

output=$(gjs "$entries/legacy.js" 2>&1) || true
case $output in
*"No JS module 'ui' found"*) ;;
*)
    echo "FAIL: the script-style entry failed elsewhere than at the Shell's imports.ui: $output"
    failed=1
    ;;
esac

output=$(gjs -m "$entries/modules.js" 2>&1) || true
case $output in
*"Failed to parse module"*)
    echo "FAIL: the module-style entry does not parse: $output"
    failed=1
    ;;
*"resource:///org/gnome/shell/extensions/extension.js"*) ;;
*)
    echo "FAIL: the module-style entry failed elsewhere than at the Shell's import: $output"
    failed=1
    ;;
esac

exit $failed
