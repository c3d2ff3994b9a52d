#!/bin/sh
# Cross-builds the notification service for 64-bit Windows with mingw-w64
# alone (no Boost): build-windows/bin/obxsvc.exe, and its test programs in
# the build folder.
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${OBX_SERVICE_WINDOWS_BUILD_DIR:-build-windows/service}
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher=ccache; fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOBX_SERVICE_ONLY=ON \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32 \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_EXE_LINKER_FLAGS=-static \
    -DCMAKE_C_COMPILER_LAUNCHER="$launcher" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher"
cmake --build "$BUILD_DIR" -j "${OBX_JOBS:-$(nproc)}"
mkdir -p build-windows/bin
cp "$BUILD_DIR/bin/obxsvc.exe" build-windows/bin/obxsvc.exe
echo "Built build-windows/bin/obxsvc.exe"
