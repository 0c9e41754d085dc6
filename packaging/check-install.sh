#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Checks what kaldorium-lpt-tool installs and packages, after a build:
#
#   packaging/check-install.sh <build-dir>
#
# 1. DESTDIR=<tmp> cmake --install <build-dir> --prefix /usr, then checks the staged tree:
#    program, udev rules in udev's rules.d, desktop entry (desktop-file-validate), icon,
#    manual page; runs `udevadm verify` on the rules where this udevadm has it.
# 2. cpack -G DEB in <build-dir>, then checks the package's control fields (dpkg-deb -f),
#    maintainer scripts and file list (dpkg-deb -c), and prints the fields and the list.
#
# Installs nothing. Needs: cmake/cpack, dpkg-dev (dpkg-shlibdeps for CPack), desktop-file-utils,
# file, pkg-config and udev (udev.pc names the rules directory).
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 <configured and built build directory>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

app_id=example.holmcraft.KaldoriumLptTool
rules_name=60-kaldorium-lpt.rules
package=kaldorium-lpt-tool

failures=0
ok() { echo "ok:   $*"; }
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    command -v "$1" >/dev/null 2>&1 || {
        echo "$0: '$1' is missing (package: $2)" >&2
        exit 2
    }
}
need cmake cmake
need cpack cmake
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need desktop-file-validate desktop-file-utils
need file file

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" | head -n 1; }

# udev's directory as the build configured it; what pkg-config says otherwise.
udevdir=$(cache_value KALDORIUM_UDEVDIR)
if [ -z "$udevdir" ]; then
    udevdir=$(pkg-config --variable=udevdir udev 2>/dev/null || true)
    udevdir=${udevdir:-/lib/udev}
fi
rules_override=$(cache_value KALDORIUM_UDEV_RULES_DIR)
if [ -n "$rules_override" ]; then
    case $rules_override in
    /*) rulesdir=$rules_override ;;
    *) rulesdir=/usr/$rules_override ;;
    esac
else
    rulesdir=$udevdir/rules.d
fi

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
if [ -z "$version" ]; then
    echo "$0: no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake" >&2
    exit 2
fi

stage=$(mktemp -d "${TMPDIR:-/tmp}/kaldorium-install.XXXXXX")
trap 'rm -rf "$stage"' EXIT

# ---------------------------------------------------------------------------------------------
echo "== cmake --install $build --prefix /usr (DESTDIR=$stage)"
DESTDIR="$stage" cmake --install "$build" --prefix /usr

check_file() { # <path under the stage> <what>
    if [ -f "$stage$1" ]; then ok "$2: $1"; else fail "$2 missing: $1"; fi
}

bin=/usr/bin/kaldorium-lpt-tool
check_file "$bin" "program"
if [ -x "$stage$bin" ] && file -b "$stage$bin" | grep -q '^ELF'; then
    ok "program is an ELF executable"
else
    fail "program is not an ELF executable: $(file -b "$stage$bin" 2>&1)"
fi

rules=$rulesdir/$rules_name
check_file "$rules" "udev rules"
if [ -f "$stage$rules" ] && cmp -s "$stage$rules" "$here/$rules_name"; then
    ok "udev rules are the file from packaging/"
else
    fail "udev rules differ from $here/$rules_name"
fi

desktop=/usr/share/applications/$app_id.desktop
check_file "$desktop" "desktop entry"
if [ -f "$stage$desktop" ]; then
    if out=$(desktop-file-validate "$stage$desktop" 2>&1) && [ -z "$out" ]; then
        ok "desktop-file-validate"
    else
        fail "desktop-file-validate: $out"
    fi
    grep -qx 'Exec=kaldorium-lpt-tool' "$stage$desktop" && ok "Exec=kaldorium-lpt-tool" ||
        fail "desktop entry does not run kaldorium-lpt-tool"
    grep -qx "Icon=$app_id" "$stage$desktop" && ok "Icon=$app_id" ||
        fail "desktop entry does not name the icon $app_id"
fi

icon=/usr/share/icons/hicolor/scalable/apps/$app_id.svg
check_file "$icon" "icon"
if [ -f "$stage$icon" ] && file -b "$stage$icon" | grep -q 'SVG'; then
    ok "icon is SVG"
else
    fail "icon is not SVG"
fi

man=/usr/share/man/man1/kaldorium-lpt-tool.1.gz
[ -f "$stage$man" ] || man=/usr/share/man/man1/kaldorium-lpt-tool.1
check_file "$man" "manual page"
if [ -f "$stage$man" ]; then
    page=$(if [ "${man##*.}" = gz ]; then gzip -dc "$stage$man"; else cat "$stage$man"; fi)
    if printf '%s\n' "$page" | grep -q '^\.TH KALDORIUM-LPT-TOOL 1' &&
        printf '%s\n' "$page" | grep -q "$version" &&
        ! printf '%s\n' "$page" | grep -q '@[A-Z_]*@'; then
        ok "manual page is section 1, version $version, fully configured"
    else
        fail "manual page header, version or configuration"
    fi
    if command -v groff >/dev/null 2>&1; then
        warnings=$(printf '%s\n' "$page" | groff -man -ww -z -Tutf8 2>&1 || true)
        [ -z "$warnings" ] && ok "groff reports nothing" || fail "groff: $warnings"
    fi
fi

if command -v udevadm >/dev/null 2>&1 && udevadm verify --help >/dev/null 2>&1; then
    if udevadm verify --resolve-names=never "$stage$rules"; then
        ok "udevadm verify"
    else
        fail "udevadm verify"
    fi
else
    echo "skip: this udevadm has no 'verify' (systemd < 253); tests/tst_udev_rules checks the rules"
fi

# ---------------------------------------------------------------------------------------------
echo "== cpack -G DEB in $build"
rm -f "$build/${package}_"*.deb
(cd "$build" && cpack -G DEB)
debs=("$build/${package}_"*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "$0: expected one ${package}_*.deb in $build" >&2
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)

echo "== control fields of $(basename "$deb")"
dpkg-deb -f "$deb"
field() { dpkg-deb -f "$deb" "$1"; }

[ "$(field Package)" = "$package" ] && ok "Package: $package" || fail "Package: $(field Package)"
case $(field Version) in
"$version" | "$version"-*) ok "Version: $(field Version) (project $version)" ;;
*) fail "Version $(field Version) is not the project's $version" ;;
esac
[ "$(field Architecture)" = "$arch" ] && ok "Architecture: $arch" ||
    fail "Architecture: $(field Architecture)"
[ "$(basename "$deb")" = "${package}_$(field Version)_$arch.deb" ] &&
    ok "file name $(basename "$deb")" || fail "file name $(basename "$deb") is not <name>_<version>_<arch>.deb"
depends=$(field Depends)
# The Qt library packages the program links, whatever the release calls them (libqt5widgets5,
# libqt5widgets5t64 after Debian 13's 64-bit time move, libqt6widgets6 ...).
for lib in widgets serialport; do
    if printf '%s\n' "$depends" | tr ',|' '\n\n' | grep -Eq "^ *libqt[56]$lib[56][a-z0-9]*( |$)"; then
        ok "Depends: a Qt $lib library"
    else
        fail "Depends names no Qt $lib library: $depends"
    fi
done
printf '%s\n' "$(field Recommends)" | tr ',' '\n' | grep -Eq '^ *dfu-util( |$)' &&
    ok "Recommends: dfu-util" || fail "Recommends lacks dfu-util: $(field Recommends)"
[ "$(field Section)" = electronics ] && ok "Section: electronics" || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "Holmcraft <support@holmcraft.example>" ] && ok "Maintainer" ||
    fail "Maintainer: $(field Maintainer)"

control=$stage/control
mkdir -p "$control"
dpkg-deb -e "$deb" "$control"
for script in postinst postrm; do
    if [ -x "$control/$script" ] && sh -n "$control/$script" &&
        grep -q 'udevadm control --reload-rules' "$control/$script" &&
        grep -q 'udevadm trigger' "$control/$script"; then
        ok "$script reloads and re-triggers udev"
    else
        fail "$script missing, not executable, or not reloading udev"
    fi
done

echo "== files of $(basename "$deb")"
list=$(dpkg-deb -c "$deb")
printf '%s\n' "$list"
for path in "$bin" "$rules" "$desktop" "$icon" "$man"; do
    if printf '%s\n' "$list" | awk '{print $6}' | grep -qx ".$path"; then
        ok "package holds $path"
    else
        fail "package lacks $path"
    fi
done
if printf '%s\n' "$list" | awk '{print $6}' | grep -Eq '^\./(usr/)?local/|^\./tmp/|_CPack_Packages'; then
    fail "package holds staging or /usr/local paths"
fi

echo
if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures check(s) failed" >&2
    exit 1
fi
echo "check-install: all checks passed ($(basename "$deb"))"
