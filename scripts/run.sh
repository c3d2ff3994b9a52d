#!/bin/sh
# Sets up, builds and runs the whole system on this machine: obxkernd with a
# virtual trackball in a temporary runtime folder, and the helper with its
# settings in a temporary folder (unless XDG_CONFIG_HOME is set). Ctrl+C
# stops both. Arguments are passed to the helper (for example --verbose).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR=${OBX_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target obxkernd obxhelper obxctl
BIN="$BUILD_DIR/bin"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/obx-run-XXXXXX")
OBX_RUNTIME_DIR="$WORK/run"
export OBX_RUNTIME_DIR
if [ -z "${XDG_CONFIG_HOME:-}" ]; then
    XDG_CONFIG_HOME="$WORK/config"
fi
export XDG_CONFIG_HOME
PORT=${OBX_HTTP_PORT:-9090}

KERND_PID=""
HELPER_PID=""
stop() {
    trap - INT TERM EXIT
    for pid in $HELPER_PID $KERND_PID; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in $HELPER_PID $KERND_PID; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
    echo "Stopped."
}
trap stop EXIT
trap 'exit 130' INT TERM

"$BIN/obxkernd" --runtime-dir "$OBX_RUNTIME_DIR" --virtual &
KERND_PID=$!
"$BIN/obxhelper" --logLevel 1 "$@" &
HELPER_PID=$!

LOG="$XDG_CONFIG_HOME/Halvex/Ombrix/obxhelper_00.log"
cat <<INFO

The system runs:
  obxkernd  pid $KERND_PID, virtual trackball in $OBX_RUNTIME_DIR
  obxhelper pid $HELPER_PID, settings and log in $XDG_CONFIG_HOME/Halvex/Ombrix
  API       http://127.0.0.1:$PORT/   (try: $BIN/obxctl --port $PORT devices)

Press a virtual button: buttons 1 to 5 are clicks that the driver makes
itself; button 6 reaches the helper ("Button event: DOWN: 20" in its log):
  scripts/virtual_input.py --runtime-dir $OBX_RUNTIME_DIR click 6
  tail -f $LOG
Watch the mouse packets the driver produces:
  scripts/virtual_watch.py --runtime-dir $OBX_RUNTIME_DIR

Ctrl+C stops both.
INFO

# Until Ctrl+C, or until either program ends; the trap stops the other.
while kill -0 "$KERND_PID" 2>/dev/null && kill -0 "$HELPER_PID" 2>/dev/null; do
    sleep 1
done
