#!/bin/sh
# Builds the system and runs it on this machine.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR=${OBX_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
BIN="$BUILD_DIR/bin"
if [ -x "$BIN/obxhelper" ]; then
    exec "$BIN/obxhelper" "$@"
fi
echo "Built into $BIN; the helper program is not part of this build yet."
ls "$BIN"
