#!/bin/sh
# Loads both entry files of our GNOME Shell extension in gjs, outside a Shell:
# the script style (Shells 43-44) must run to its end with Mutter's typelibs
# found; the module style (Shells 45 and later) must parse, failing only where
# it imports the Shell's own Extension class, which exists only in a Shell.
# Usage: check_extension_entries.sh ENTRIES_DIR
set -eu
entries=$1
typelibs=$(ls -d /usr/lib/*/mutter-* 2>/dev/null | head -n 1)
export GI_TYPELIB_PATH="$typelibs"
failed=0

if ! output=$(gjs "$entries/legacy.js" 2>&1); then
    echo "FAIL: the script-style entry does not run: $output"
    failed=1
fi

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
