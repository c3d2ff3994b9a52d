#!/usr/bin/python3
"""Checks that a folder of GNOME Shell extensions, as a package installs it, gives each Shell major of a
range exactly one copy of ours that the Shell would load: by the Shell's own rule a copy is out of date
unless an entry of its metadata's "shell-version" starts with the major (js/ui/extensionSystem.js,
js/misc/extensionUtils.js before 45), its uuid must be its folder's name, and its extension.js must be of
the major's style: a script (imports.*, init()) before 45, an ES module with a default export from 45 on.
gjs parses each file as the Shell would; it stops at the first import of the Shell's own JavaScript, which
exists only inside a Shell.
Usage: check_extension_copies.py EXTENSIONS_DIR FIRST_MAJOR LAST_MAJOR"""
import glob
import json
import os
import re
import subprocess
import sys

FIRST_MODULE_MAJOR = 45


def gjs_output(arguments):
    paths = ':'.join(sorted(glob.glob('/usr/lib/*/mutter-*'))[:1] + ['/usr/lib/gnome-shell'])
    env = dict(os.environ)
    env.update(GI_TYPELIB_PATH=paths, LD_LIBRARY_PATH=paths)
    result = subprocess.run(['gjs'] + arguments, env=env, capture_output=True, text=True, timeout=60)
    return result.stdout + result.stderr


def style_fault(path, major):
    """Why the Shell of this major would not load the file; None when it would."""
    with open(path, encoding='utf-8') as source:
        text = source.read()
    if major < FIRST_MODULE_MAJOR:
        if not re.search(r'^function init\(', text, re.M):
            return 'a script without init()'
        output = gjs_output([path])
        if "No JS module 'ui' found" not in output:
            return 'not a script that reaches the Shell\'s imports.ui: ' + output.strip()
        return None
    if not re.search(r'^export default class ', text, re.M):
        return 'a module without a default export class'
    output = gjs_output(['-m', path])
    if 'resource:///org/gnome/shell/' not in output or 'Failed to parse' in output or 'SyntaxError' in output:
        return 'not a module that reaches the Shell\'s imports: ' + output.strip()
    return None


def main():
    folder, first, last = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    copies = {}
    for uuid in sorted(os.listdir(folder)):
        with open(os.path.join(folder, uuid, 'metadata.json'), encoding='utf-8') as source:
            copies[uuid] = json.load(source)
    faults = []
    for uuid, metadata in copies.items():
        if metadata.get('uuid') != uuid:
            faults.append(f'{uuid}: metadata.json names the uuid {metadata.get("uuid")}')
    for major in range(first, last + 1):
        loaded = [uuid for uuid, metadata in copies.items()
                  if any(version.startswith(str(major)) for version in metadata.get('shell-version', []))]
        if len(loaded) != 1:
            faults.append(f'GNOME Shell {major} would load {len(loaded)} copies: {loaded}')
            continue
        fault = style_fault(os.path.join(folder, loaded[0], 'extension.js'), major)
        if fault:
            faults.append(f'GNOME Shell {major} would not load {loaded[0]}: {fault}')
    for fault in faults:
        print('FAIL: ' + fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
