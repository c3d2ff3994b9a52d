#!/bin/sh
# Runs a Windows program under Wine in the given prefix: wine-run.sh <prefix> <program.exe> [args...]
# CTest's emulator for the Windows build. The prefix must exist (build-windows.sh makes it).
set -eu
prefix=$1
shift
if [ ! -f "$prefix/system.reg" ]; then
    echo "wine-run.sh: no Wine prefix at $prefix (scripts/build-windows.sh --test makes it)" >&2
    exit 125
fi
export WINEPREFIX="$prefix"
export WINEDEBUG=${WINEDEBUG:--all}
# Programs that ask for the .NET or HTML runtimes must fail, not offer downloads.
export WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
