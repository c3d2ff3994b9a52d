#!/bin/sh
# Builds the driver's fuzz targets with clang and runs each for a bounded time, starting from the seed
# corpus kept beside this script (driver/fuzz/corpus/TARGET, only read). Inputs found in the run go to
# the build folder. A crash, leak or timeout fails the run and names the file that reproduces it:
#     BUILD/TARGET FILE
# Usage: driver/fuzz/run_fuzzers.sh [seconds per target, default 60]
set -eu
SECONDS_PER_TARGET=${1:-60}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${OBX_FUZZ_BUILD_DIR:-$ROOT/build/fuzz}
cmake -S "$ROOT/driver/fuzz" -B "$BUILD" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j 2
failed=0
for target in fuzz_hid_descriptor fuzz_driver_device; do
    found="$BUILD/corpus/$target"
    artifacts="$BUILD/artifacts/$target"
    rm -rf "$artifacts"
    mkdir -p "$found" "$artifacts"
    echo "== $target: $SECONDS_PER_TARGET s"
    # -timeout bounds one input; the whole run ends after max_total_time.
    if ! "$BUILD/$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$found" "$ROOT/driver/fuzz/corpus/$target"; then
        failed=1
        for reproducer in "$artifacts"/*; do
            [ -e "$reproducer" ] && echo "FUZZ FAILURE $target: reproduce with $BUILD/$target $reproducer"
        done
    fi
done
exit $failed
