#!/bin/sh
# Set-up, build and every test, from a fresh Debian 12 machine. The Windows suite
# (./scripts/build-windows.sh --test: mingw-w64 cross build, tests under Wine) joins here once it is green.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR=${OBX_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300
