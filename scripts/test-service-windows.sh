#!/bin/sh
# Builds the Windows notification service and runs its tests under Wine, on
# a private prefix and a private X display. Every step is bounded in time.
set -eu
cd "$(dirname "$0")/.."
./scripts/build-service-windows.sh
BUILD_DIR=${OBX_SERVICE_WINDOWS_BUILD_DIR:-build-windows/service}
if [ -z "${OBX_IN_XVFB:-}" ]; then
    exec env OBX_IN_XVFB=1 timeout 900 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

export WINEPREFIX="$PWD/$BUILD_DIR/wineprefix" WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installers: nothing here needs them, and there is no
# network to fetch them from.
export WINEDLLOVERRIDES="mscoree=;mshtml="
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
BIN="$PWD/$BUILD_DIR/bin"
failed=0
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT

timeout 300 "$WINE" wineboot --init
# A prefix that has settled: its first boot goes on in the background.
timeout 120 "$WINESERVER" -w
run() {
    echo "== $*"
    if ! timeout 300 "$@"; then
        echo "FAILED: $*"
        failed=1
    fi
}

run "$WINE" "$BIN/test_service.exe"
run "$WINE" "$BIN/test_service_windows.exe"

# The record must reach the prefix's registry file: the sequence's fake
# minute writes the time 1700000060 (0x6553f13c) as a REG_QWORD.
run "$WINE" "$BIN/test_service_windows.exe" --gtest_filter='WindowsNotifySequenceTest.*'
timeout 60 "$WINESERVER" -w
if tr -d '\r' < "$WINEPREFIX/system.reg" | grep -A3 -i '^\[Software\\\\Halvex\\\\Quellane2\]' |
    grep -q '"DownloadNotified"=hex(b):3c,f1,53,65,00,00,00,00'; then
    echo "== registry value DownloadNotified found in system.reg"
else
    echo "FAILED: DownloadNotified is not in $WINEPREFIX/system.reg"
    failed=1
fi

if [ "$failed" -ne 0 ]; then
    echo "Windows service tests: FAILED"
    exit 1
fi
echo "Windows service tests: passed"
