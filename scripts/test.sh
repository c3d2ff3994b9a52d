#!/bin/sh
# Set-up, build and every test, from a fresh Debian 12 machine: the Linux suite, then the Windows
# suite (cross-built with mingw-w64, run under Wine).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR=${OBX_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300
./scripts/build-windows.sh --test
