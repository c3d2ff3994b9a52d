#!/bin/sh
# Set-up, build and every test, from a fresh Debian 12 machine: the Linux suite, then the Windows
# suite (mingw-w64 cross build, tests under Wine).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
BUILD_DIR=${OBX_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j "$(nproc)" --timeout 300
# Each libFuzzer target for a bounded 20 s from the corpus in the repository; a crash fails here.
OBX_FUZZ_BUILD_DIR="$BUILD_DIR/fuzz" ./driver/fuzz/run_fuzzers.sh 20
# The Windows notification service: cross-built, its tests run under Wine.
./scripts/test-service-windows.sh
# The Windows helper, the kernel driver (compiled as kernel code, linked and its image checked), the
# signed installer, and every Windows test program under Wine, compared with the Linux helper built
# above. The first run on a machine also builds Boost for mingw (cached outside the checkout).
OBX_BUILD_DIR="$BUILD_DIR" timeout 1800 ./scripts/build-windows.sh --test
