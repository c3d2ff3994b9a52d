#!/bin/sh
# The compile check of the Windows kernel driver: every source of driver/windows and of the portable
# driver core compiled as kernel code by mingw-w64's g++ against the public KMDF headers (a project of
# its own in driver/windows, built in its own folder). The objects must then call nothing that a kernel
# does not offer and need no constructors of globals run. The INF must serve exactly the models of the
# core's table.
#
# The KMDF headers are the project's copy in third_party/kmdf-1.33 unless $OBX_KMDF_DIR names
# others. A check that cannot run fails: it is never skipped.
# With --print-kmdf-dir it only prints the folder of the headers.
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd -P)
BUILD_DIR=${OBX_DRIVER_WINDOWS_BUILD_DIR:-build-driver-windows}
CXX_CROSS=x86_64-w64-mingw32-g++
NM_CROSS=x86_64-w64-mingw32-nm
OBJDUMP_CROSS=x86_64-w64-mingw32-objdump

kmdf=${OBX_KMDF_DIR:-$repo/third_party/kmdf-1.33}
if [ ! -f "$kmdf/include/wdf.h" ]; then
    echo "check-driver-windows: $kmdf holds no include/wdf.h; the Windows driver cannot be checked" >&2
    exit 1
fi
kmdf=$(cd "$kmdf" && pwd -P)
# The Windows build takes the same headers for the framework double.
if [ "${1:-}" = --print-kmdf-dir ]; then
    echo "$kmdf"
    exit 0
fi
if ! command -v "$CXX_CROSS" >/dev/null 2>&1; then
    echo "check-driver-windows: $CXX_CROSS is missing (scripts/setup.sh installs it)" >&2
    exit 1
fi

echo "check-driver-windows: KMDF headers from $kmdf"
launcher=""
if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
mkdir -p "$BUILD_DIR"
cmake -S driver/windows -B "$BUILD_DIR" -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_CXX_COMPILER="$CXX_CROSS" -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY \
    -DOBX_KMDF_DIR="$kmdf" $launcher >"$BUILD_DIR/configure.log" 2>&1 || {
    cat "$BUILD_DIR/configure.log" >&2
    exit 1
}
cmake --build "$BUILD_DIR" -j "$(nproc)"

objects=$(find "$BUILD_DIR" -name '*.obj' | sort)
[ -n "$objects" ] || { echo "check-driver-windows: no objects were built" >&2; exit 1; }
failed=0

# What the objects need from outside: each other, the framework, the HID parser, the kernel's
# exports and the memory functions the kernel exports too. Anything else (the C++ runtime, the C
# library, stack probes of large frames, guards of local statics) has no library in a driver.
defined=$($NM_CROSS --defined-only -j $objects 2>/dev/null | sort -u)
missing=$($NM_CROSS --undefined-only -j $objects | sort -u | grep -vxF "$defined" |
    grep -vE '^(__imp_)?(Wdf|HidP_|Ke|Ex|Io|Rtl|Wdmlib|Ob|Mm|Ps|Zw|Dbg|Interlocked)' |
    grep -vxE 'mem(cpy|set|move|cmp)' || true)
if [ -n "$missing" ]; then
    echo "check-driver-windows: the driver would need what a kernel does not offer:" >&2
    echo "$missing" >&2
    failed=1
fi

# A kernel driver runs no constructors of globals.
for object in $objects; do
    if $OBJDUMP_CROSS -h "$object" | grep -qE '\.(ctors|init_array)'; then
        echo "check-driver-windows: $object has constructors of globals" >&2
        failed=1
    fi
done

# The INF serves the models of the core's table, and only those.
table=$(grep -oE '\{0x[0-9A-Fa-f]{4}, ReportLayout::' driver/core/DeviceModels.h |
    grep -oE '0x[0-9A-Fa-f]{4}' | cut -c3- | tr a-f A-F | sort -u)
inf=$(grep -oE 'HID\\VID_[0-9A-F]{4}&PID_[0-9A-F]{4}' driver/windows/obxkern.inf |
    sed 's/.*PID_//' | sort -u)
if [ -z "$table" ] || [ "$table" != "$inf" ]; then
    echo "check-driver-windows: obxkern.inf serves the product ids [$(echo $inf)]," \
        "the core's table has [$(echo $table)]" >&2
    failed=1
fi
vendor=$(grep -oE 'kVendorId = 0x[0-9A-Fa-f]{4}' driver/core/DeviceModels.h | cut -c15- | tr a-f A-F)
if grep -oE 'HID\\VID_[0-9A-F]{4}' driver/windows/obxkern.inf | grep -vq "VID_$vendor\$"; then
    echo "check-driver-windows: obxkern.inf names a vendor other than the table's $vendor" >&2
    failed=1
fi

# obxkern.sys is an image the system loads as a KMDF driver: native subsystem, the loader stub as entry
# point, imports only from the kernel, the HAL, the HID parser and the framework loader, a discardable
# INIT section, no section both writable and executable, and a PE checksum that matches its content.
image="$BUILD_DIR/obxkern.sys"
headers=$($OBJDUMP_CROSS -p "$image")
check_image() {
    if ! eval "$2"; then
        echo "check-driver-windows: obxkern.sys: $1" >&2
        failed=1
    fi
}
check_image "subsystem is not native" 'echo "$headers" | grep -qE "^Subsystem[[:space:]]+00000001"'
entry=$($NM_CROSS "$image" 2>/dev/null | awk '$3 == "ObxFrameworkEntry" { print $1 }')
entry_rva=$(echo "$headers" | awk '/^AddressOfEntryPoint/ { print $2 }')
image_base=$(echo "$headers" | awk '/^ImageBase/ { print $2 }')
check_image "the entry point is not the loader stub" \
    '[ -n "$entry" ] && [ $((0x$entry - 0x$image_base)) -eq $((0x$entry_rva)) ]'
modules=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
check_image "imports from [$modules]" \
    'echo "$modules" | grep -qxE "HIDPARSE.SYS WDFLDR.SYS ntoskrnl.exe (hal.dll )?"'
check_image "does not import WdfVersionBind and WdfVersionUnbind" \
    'echo "$headers" | grep -qE "[[:space:]]WdfVersionBind$" && echo "$headers" | grep -qE "[[:space:]]WdfVersionUnbind$"'
# Each section's name and flags from the section table: D discardable, X executable, W writable.
sections=$("${OBX_PYTHON:-python3}" - "$image" <<'PY'
import struct, sys
image = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", image, 0x3C)[0]
count, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
table = pe + 24 + optional_size
for i in range(count):
    header = table + 40 * i
    flags = struct.unpack_from("<I", image, header + 36)[0]
    letters = "".join(l for l, bit in (("D", 0x02000000), ("X", 0x20000000), ("W", 0x80000000)) if flags & bit)
    print(image[header:header + 8].rstrip(b"\0").decode(), letters or "-")
PY
)
check_image "no discardable INIT section" 'echo "$sections" | grep -qE "^INIT D"'
check_image "a section is both writable and executable" '! echo "$sections" | grep -qE " [^ ]*X[^ ]*W"'
stored=$(echo "$headers" | awk '/^CheckSum/ { print $2 }')
copy="$BUILD_DIR/checksum.sys"
cp "$image" "$copy"
"${OBX_PYTHON:-python3}" scripts/pe-driver-image.py "$copy"
computed=$($OBJDUMP_CROSS -p "$copy" | awk '/^CheckSum/ { print $2 }')
rm -f "$copy"
check_image "the PE checksum $stored is not the image's ($computed)" \
    '[ "$stored" != "00000000" ] && [ "$stored" = "$computed" ]'

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "check-driver-windows: $(echo "$objects" | wc -l) kernel objects compiled and checked; obxkern.sys linked and checked"
