#!/bin/sh
# Builds the Debian package of a configured build tree and checks what it holds: the files at their
# places, the links in /usr/bin, the maintainer data, and units that systemd-analyze accepts.
# Usage: check_package.sh BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/lib/obx/obxkernd ./usr/lib/obx/obxhelper ./usr/lib/obx/obxactions.json \
    ./usr/lib/systemd/system/obxkernd.service ./usr/lib/systemd/user/obxhelper.service \
    ./usr/lib/udev/rules.d/70-obxkern.rules ./etc/obxkern/devices.conf ./etc/xdg/autostart/obxhelper.desktop \
    ./usr/share/applications/obxhelper.desktop ./usr/share/doc/obx/README.md ./usr/lib/obx/ui/index.html ./usr/lib/obx/ui/js/main.js \
    ./usr/lib/obx/kwin/focus.js ./usr/lib/obx/kwin/close.js ./usr/lib/obx/kwin/maximize.js \
    ./usr/lib/obx/kwin/minimize.js ./usr/lib/obx/kwin/minimize-all.js \
    ./usr/share/gnome-shell/extensions/obxhelper@bridge.obx/extension.js \
    ./usr/share/gnome-shell/extensions/obxhelper-legacy@bridge.obx/extension.js; do
    grep -q " $path\$" "$work/contents" || fail "$path is not in the package"
done
for program in obxkernd obxhelper; do
    grep -q " ./usr/bin/$program -> ../lib/obx/$program\$" "$work/contents" ||
        fail "/usr/bin/$program is not a link to ../lib/obx/$program"
done
grep -q '^-rwxr-xr-x .* ./usr/lib/obx/obxkernd$' "$work/contents" || fail "obxkernd is not executable"

# Maintainer data: the fields, the libraries found by dpkg-shlibdeps, and the scripts.
[ "$(dpkg-deb -f "$deb" Package)" = obx ] || fail "Package is not obx"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "Architecture is not amd64"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libudev1 libevdev2 libsystemd0 libstdc++6 systemd udev; do
    echo "$depends" | grep -q "\b$needed\b" || fail "Depends lacks $needed: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
mkdir -p "$work/control"
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script is missing or not executable"
    sh -n "$work/control/$script" || fail "$script does not parse"
done
grep -qx /etc/obxkern/devices.conf "$work/control/conffiles" || fail "devices.conf is not a conffile"

# The shipped table names no device: nothing but comments and blank lines.
dpkg-deb -x "$deb" "$work/root"
if grep -v '^[[:space:]]*\(#.*\)\?$' "$work/root/etc/obxkern/devices.conf"; then
    fail "the shipped devices.conf lists a device"
fi
# Every GNOME Shell from 43 to 51 finds one copy of our extension that it loads.
"$(dirname "$0")/../helper/platform/linux/gnome/check_extension_copies.py" \
    "$work/root/usr/share/gnome-shell/extensions" 43 51 || fail "a GNOME Shell major loads no copy of the extension"
# The tests' interface is not installed, and the bridge answers the installed helper.
for copy in "$work"/root/usr/share/gnome-shell/extensions/obxhelper*; do
    grep -q org.obx.ShellBridgeTest1 "$copy/extension.js" && fail "$copy has the tests' interface"
    grep -q "^const HELPER_PROGRAM = '/usr/lib/obx/obxhelper';" "$copy/extension.js" ||
        fail "$copy does not answer /usr/lib/obx/obxhelper"
done
# KWin grants fake input to the program the applications entry names.
entry="$work/root/usr/share/applications/obxhelper.desktop"
grep -qx 'Exec=/usr/lib/obx/obxhelper' "$entry" || fail "the applications entry does not name /usr/lib/obx/obxhelper"
grep -qx 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input' "$entry" ||
    fail "the applications entry does not ask KWin for fake input"
"$work/root/usr/lib/obx/obxkernd" --help >/dev/null || fail "the packaged obxkernd does not run"

# The units as installed. The system unit is checked inside the unpacked package, with the host's own
# units beside it for the targets it names; the user manager takes no root, so the user unit is checked
# as a copy whose program path points into the unpacked package.
cp -rn /usr/lib/systemd/system/. "$work/root/usr/lib/systemd/system/"
systemd-analyze verify --root="$work/root" /usr/lib/systemd/system/obxkernd.service \
    >"$work/verify-system.log" 2>&1 || fail "systemd-analyze verify obxkernd.service"
mkdir -p -m 700 "$work/user"
sed "s#/usr/lib/obx/#$work/root/usr/lib/obx/#" "$work/root/usr/lib/systemd/user/obxhelper.service" \
    >"$work/user/obxhelper.service"
XDG_RUNTIME_DIR="$work/user" systemd-analyze --user verify "$work/user/obxhelper.service" \
    >"$work/verify-user.log" 2>&1 || fail "systemd-analyze --user verify obxhelper.service"
if grep -H . "$work/verify-system.log" "$work/verify-user.log"; then
    fail "systemd-analyze has remarks"
fi
exit $failed
