#!/bin/sh
# Builds the driver's fuzz targets with clang and runs each for a bounded time.
# Usage: driver/fuzz/run_fuzzers.sh [seconds per target, default 60]
set -eu
SECONDS_PER_TARGET=${1:-60}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${OBX_FUZZ_BUILD_DIR:-$ROOT/build/fuzz}
cmake -S "$ROOT/driver/fuzz" -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j 2
for target in fuzz_hid_descriptor fuzz_driver_device; do
    corpus="$BUILD/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target: $SECONDS_PER_TARGET s"
    "$BUILD/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len=2048 -print_final_stats=1 "$corpus"
done
