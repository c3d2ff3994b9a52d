#!/bin/sh
# Builds everything Windows into build-windows/ with the mingw-w64 cross compiler: obxhelper.exe and
# the Windows test programs land in build-windows/bin/, beside obxactions.json; the signed installer
# in build-windows/package/.
# With --test it then runs the Windows suite under Wine, in a Wine prefix of the build's own and on
# a private Xvfb display. The suite compares obxhelper.exe with the Linux helper of $OBX_BUILD_DIR
# (default build/), which it builds first when missing.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${OBX_WINDOWS_BUILD_DIR:-build-windows}
LINUX_BUILD_DIR=${OBX_BUILD_DIR:-build}
JOBS=$(nproc)

run_tests=false
case "${1:-}" in
--test) run_tests=true ;;
"") ;;
*)
    echo "usage: $0 [--test]" >&2
    exit 2
    ;;
esac

case $LINUX_BUILD_DIR in
/*) LINUX_HELPER=$LINUX_BUILD_DIR/bin/obxhelper ;;
*) LINUX_HELPER=$ROOT/$LINUX_BUILD_DIR/bin/obxhelper ;;
esac

# The KMDF headers of the driver and of its framework double; a tree without them fails here.
kmdf=$(./scripts/check-driver-windows.sh --print-kmdf-dir)
prefixes=$(./scripts/windows-deps.sh)
# -O1: the programs are built to be tested under an emulator, and the cross build of the tests takes
# half the time of -O3.
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$prefixes" \
    -DOBX_LINUX_HELPER="$LINUX_HELPER" -DOBX_KMDF_DIR="$kmdf"
cmake --build "$BUILD_DIR" -j "$JOBS"

# The kernel driver: linked and checked in a project of its own (scripts/check-driver-windows.sh), then
# put beside the programs with its INF, where packaging and scripts/sign-windows.sh take it from.
build_driver() {
    driver_dir=$BUILD_DIR/kernel-driver
    OBX_DRIVER_WINDOWS_BUILD_DIR=$driver_dir ./scripts/check-driver-windows.sh
    mkdir -p "$BUILD_DIR/bin"
    cp "$driver_dir/obxkern.sys" driver/windows/obxkern.inf "$BUILD_DIR/bin/"
}
build_driver

# Packaging: the signed installer of what was just built, in $BUILD_DIR/package/.
OBX_WINDOWS_BUILD_DIR=$BUILD_DIR ./scripts/package-windows.sh

$run_tests || exit 0

if [ ! -x "$LINUX_HELPER" ]; then
    cmake -S . -B "$LINUX_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$LINUX_BUILD_DIR" -j "$JOBS" --target obxhelper
fi

WINEPREFIX=$ROOT/$BUILD_DIR/wineprefix
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Wine's windows need an X display: a private one, never the user's.
Xvfb -displayfd 5 -nolisten tcp -screen 0 1024x768x24 5>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "build-windows.sh: Xvfb did not start" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=:$(cat "$work/display")
export DISPLAY

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX"
    timeout 300 /usr/lib/wine/wine64 wineboot --init
fi
# A server of this prefix still running (wineboot's, which lingers a moment, or one an interrupted run
# left) ends first: a second persistent one would not start.
/usr/lib/wine/wineserver -k 2>/dev/null || true
timeout 60 /usr/lib/wine/wineserver -w
# One server for the whole suite instead of one per test program, with the prefix's own processes
# (services.exe, winedevice.exe, rpcss.exe...) started here. Wine starts them for the first program of a
# server and they inherit its standard output and error: started by a test program, they would hold
# that test's output pipe open for the server's whole life, and CTest would wait on it until its
# time-out although the program had ended.
/usr/lib/wine/wineserver -p
if ! timeout 300 /usr/lib/wine/wine64 wineboot </dev/null >"$work/wineboot.log" 2>&1; then
    echo "build-windows.sh: the Wine prefix did not start" >&2
    cat "$work/wineboot.log" >&2
    exit 1
fi
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$JOBS" --timeout 300
