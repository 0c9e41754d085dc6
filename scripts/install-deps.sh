#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs the Debian packages the project needs. Usage: install-deps.sh build|demo|package|test
# Runs apt-get as root directly, otherwise through sudo. Set KALDORIUM_SKIP_INSTALL=1 to
# skip it on a machine that already has everything.
set -euo pipefail

build_packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
    fonts-dejavu-core time)
demo_packages=(xvfb xauth)
test_packages=(clang libclang-rt-14-dev desktop-file-utils dpkg-dev file udev)

case "${1:-build}" in
build) packages=("${build_packages[@]}") ;;
demo) packages=("${build_packages[@]}" "${demo_packages[@]}") ;;
package) packages=("${build_packages[@]}" dpkg-dev file) ;;
test) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
*) echo "usage: $0 build|demo|package|test" >&2; exit 2 ;;
esac

if [ "${KALDORIUM_SKIP_INSTALL:-0}" = 1 ]; then
    exit 0
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=(env DEBIAN_FRONTEND=noninteractive)
[ "$(id -u)" -eq 0 ] || as_root=(sudo env DEBIAN_FRONTEND=noninteractive)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
