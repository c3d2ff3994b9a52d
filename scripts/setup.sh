#!/bin/sh
# Installs every build and test dependency from Debian's archive.
# Safe to run again: apt-get only installs what is missing.
set -eu

PACKAGES="
build-essential cmake ninja-build pkg-config git clang-format
clang libclang-rt-dev
googletest libgtest-dev libgmock-dev libbenchmark-dev
libboost-dev libboost-log-dev libboost-program-options-dev libboost-locale-dev
libboost-filesystem-dev libboost-thread-dev libboost-date-time-dev libboost-system-dev
nlohmann-json3-dev
libx11-dev libxtst-dev libxres-dev libxft-dev libpango1.0-dev libcairo2-dev libfontconfig-dev libsystemd-dev libudev-dev libevdev-dev
librsvg2-dev
fonts-dejavu-core fonts-droid-fallback fonts-symbola
xvfb xauth x11-utils dbus python3-dbusmock openbox xdotool
libwayland-dev wayland-protocols libxkbcommon-dev sway wtype
kwin-wayland plasma-wayland-protocols wl-clipboard
libglib2.0-dev gnome-shell gjs python3-gi gir1.2-gtk-3.0
g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 osslsigncode openssl
qemu-system-x86 busybox-static cpio
wine64 wine bison dpkg-dev xz-utils
chromium chromium-driver python3-selenium
wixl msitools
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    SUDO=""
    if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
    echo "Installing:$missing"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
else
    echo "All build and test dependencies are installed."
fi
