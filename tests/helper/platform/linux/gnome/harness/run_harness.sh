#!/bin/sh
# Runs the harness's driver for one GNOME version on a copy of the installed
# module-style extension whose gi:// imports of the Shell's own libraries
# (Clutter, Meta, St) and GObject name the stand-ins instead: gjs has no
# import map. A session bus of its own carries the extension's names.
# Usage: run_harness.sh VERSION EXTENSION_DIR SHELL_GRESOURCE WORK_DIR
set -eu
version=$1
extension=$2
resource=$3
work=$4/$version
harness=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cp "$extension/metadata.json" "$work/"
sed -E "s#^import (Clutter|Meta|St|GObject) from 'gi://[A-Za-z]+';#import \\1 from 'file://$harness/gi/\\1.js';#" \
    "$extension/extension.js" >"$work/extension.js"
for library in Clutter Meta St GObject; do
    grep -q "^import $library from 'file://$harness/gi/$library.js';" "$work/extension.js" ||
        { echo "FAIL: the extension's import of $library was not found"; exit 1; }
done
exec dbus-run-session -- gjs -m "$harness/driver.js" "$version" "$work" "$resource"
