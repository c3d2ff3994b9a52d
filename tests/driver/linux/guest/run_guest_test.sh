#!/bin/sh
# The real-kernel test of obxkernd: boots Debian's own kernel in qemu (TCG: nested KVM is not to be
# relied on) with a small initramfs holding busybox, obxkernd, the guest probe and the HID, uhid, uinput
# and evdev modules. The probe's results come back over the serial console.
# Usage: run_guest_test.sh OBXKERND GUEST_PROBE WORK_DIR [load]
# With "load" the guest runs the load benchmark instead of the checks (GuestLoad.h).
# The kernel package is downloaded once into $OBX_CACHE_DIR (default ~/.cache/obx), keyed by version.
set -eu

obxkernd=$1
probe=$2
work=$3
mode=${4:+--$4}
cache=${OBX_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/obx}
# The whole run, boot to power-off; a stuck guest fails the test instead of hanging CI.
limit=${OBX_GUEST_TIMEOUT:-420}
# Test ids only: the daemon matches the guest's trackball by these through its devices.conf.
vendor=fff0
product=0001
modules="drivers/hid/hid.ko drivers/hid/hid-generic.ko drivers/hid/uhid.ko drivers/input/misc/uinput.ko
drivers/input/evdev.ko"

package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ { print $2; exit }')
version=$(apt-cache show --no-all-versions "$package" | awk '/^Version:/ { print $2; exit }')
[ -n "$package" ] && [ -n "$version" ] || { echo "no kernel package found by apt-cache" >&2; exit 1; }
kernel="$cache/kernel/${package}_$version"

if [ ! -f "$kernel/vmlinuz" ]; then
    echo "downloading $package $version into $kernel"
    mkdir -p "$cache/kernel"
    fetch=$(mktemp -d "$cache/kernel/fetch.XXXXXX")
    trap 'rm -rf "$fetch"' EXIT
    (cd "$fetch" && apt-get download "$package=$version" 2>&1 | grep -v '^W: Download is performed unsandboxed' >&2 || true)
    dpkg-deb -x "$fetch"/*.deb "$fetch/root"
    mkdir -p "$fetch/kernel/modules"
    cp "$fetch"/root/boot/vmlinuz-* "$fetch/kernel/vmlinuz"
    for m in $modules; do
        cp "$fetch"/root/lib/modules/*/kernel/"$m" "$fetch/kernel/modules/"
    done
    rm -rf "$kernel"
    mv "$fetch/kernel" "$kernel"
    rm -rf "$fetch"
    trap - EXIT
fi

rm -rf "$work"
root="$work/root"
mkdir -p "$root/bin" "$root/obx" "$root/modules" "$root/etc/obxkern" "$root/proc" "$root/sys" "$root/dev" \
    "$root/run" "$root/tmp"
cp /bin/busybox "$root/bin/busybox"
for tool in sh mount mkdir cat cut insmod sleep poweroff echo; do
    ln -s busybox "$root/bin/$tool"
done
cp "$obxkernd" "$probe" "$root/obx/"
# The programs' shared libraries, the dynamic loader among them, at the paths they were found at.
for library in $(ldd "$obxkernd" "$probe" | awk '/=> \// { print $3 } /^\t\// { print $1 }' | sort -u); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
done
cp "$kernel"/modules/*.ko "$root/modules/"
# The probe's trackball, and the product under which it plugs in the corpus's devices for obxkernd
# (the next one, unlisted, is for the kernel's own input).
printf '# the guest probe'"'"'s trackball\n%s:%s guest test trackball\n%s:%04x corpus device\n' \
    "$vendor" "$product" "$vendor" $((0x$product + 1)) >"$root/etc/obxkern/devices.conf"
# $OBX_GUEST_CORPUS: another folder of corpus files, for a run with a few of them.
cp -r "${OBX_GUEST_CORPUS:-$(dirname "$0")/../../data/corpus}" "$root/obx/corpus"
cat >"$root/init" <<INIT
#!/bin/sh
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
for m in hid hid-generic uhid uinput evdev; do
    insmod /modules/\$m.ko || echo "obx-guest: FAIL insmod \$m"
done
echo "obx-guest: booted uptime_s=\$(cut -d' ' -f1 /proc/uptime)"
/obx/$(basename "$probe") $mode /run/obxkern $vendor $product -- /obx/$(basename "$obxkernd") --runtime-dir /run/obxkern
echo "obx-guest: finished uptime_s=\$(cut -d' ' -f1 /proc/uptime)"
poweroff -f
INIT
chmod +x "$root/init"
(cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initramfs.gz"

started=$(date +%s.%N)
status=0
timeout "$limit" qemu-system-x86_64 -accel tcg -m 512 -smp 1 -nographic -no-reboot -nodefaults \
    -serial stdio -kernel "$kernel/vmlinuz" -initrd "$work/initramfs.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3" </dev/null >"$work/console.log" 2>&1 || status=$?
ended=$(date +%s.%N)
grep -ao 'obx-guest:.*\|obxkernd:.*' "$work/console.log" || true
echo "qemu: exit $status, boot to power-off $(awk "BEGIN { printf \"%.1f\", $ended - $started }") s"
if [ "$status" -ne 0 ]; then
    echo "the guest did not power off in time (or qemu failed); console: $work/console.log" >&2
    exit 1
fi
grep -aq 'obx-guest: result PASS' "$work/console.log"
