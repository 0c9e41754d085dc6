#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs the Debian packages the project needs. Usage: install-deps.sh build|demo|package|test
# Runs apt-get as root directly, otherwise through sudo. Set KALDORIUM_SKIP_INSTALL=1 to
# skip it on a machine that already has everything.
#
# Every name below exists on Debian 12, Debian 13 and Ubuntu 24.04. The one package whose
# name carries a release's version, clang's runtime (sanitizers, libFuzzer), is chosen after
# clang is installed, to match the clang the release has.
set -euo pipefail

# libxcb1-dev: the Qt 5 window asks the X server for its DPI setting before Qt starts
build_packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
    libxcb1-dev fonts-dejavu-core time)
qt6_packages=(qt6-base-dev qt6-base-dev-tools qt6-serialport-dev)
# x11-xserver-utils: xrdb, which sets the screen's DPI (Xft.dpi) on Xvfb
demo_packages=(xvfb xauth x11-xserver-utils)
# udev for udev.pc, which names the directory the rules go to
package_packages=(dpkg-dev file gzip udev)
# git: reuse lint asks it which files are tracked, so build trees are not scanned;
# ansible-core: the Ansible collection's playbook tests and ansible-doc of the package
# umockdev: synthetic USB devices for the tests (tests/devices/); its GObject binding plugs them
# in and out from Python by hand. mount and util-linux (unshare): udevadm test in a mount
# namespace of its own; Xvfb and xrdb: the window on screens of 100 to 200 % (tst_high_dpi)
test_packages=(clang git reuse sigrok-cli lintian appstream desktop-file-utils ansible-core
    "${qt6_packages[@]}" "${package_packages[@]}" umockdev libumockdev-dev gir1.2-umockdev-1.0
    python3-gi mount util-linux xvfb x11-xserver-utils)

case "${1:-build}" in
build) packages=("${build_packages[@]}") ;;
demo) packages=("${build_packages[@]}" "${demo_packages[@]}") ;;
package) packages=("${build_packages[@]}" "${package_packages[@]}") ;;
test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "usage: $0 build|demo|package|test" >&2
    exit 64
    ;;
esac

if [ "${KALDORIUM_SKIP_INSTALL:-0}" = 1 ]; then
    exit 0
fi

as_root=(env DEBIAN_FRONTEND=noninteractive)
[ "$(id -u)" -eq 0 ] || as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
updated=0

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ "$updated" = 0 ]; then
        "${as_root[@]}" apt-get update -q
        updated=1
    fi
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"

# udev.pc, which names where udev rules go, moved from udev to systemd-dev (Debian 13, Ubuntu
# 24.04); without it the rules would land in /lib, an alias of /usr/lib on those releases.
case "${1:-build}" in
package | test)
    pkg-config --exists udev || install_missing systemd-dev
    ;;
esac

# clang's runtime for the sanitizers and libFuzzer: libclang-rt-<major>-dev for the major
# version of the installed clang (14 on Debian 12, 18 on Ubuntu 24.04, 19 on Debian 13).
if [ "${1:-build}" = test ]; then
    major=$(clang -dumpversion | cut -d. -f1)
    install_missing "libclang-rt-$major-dev"
fi
