#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Checks what the build installs and packages:
#
#   packaging/check-install.sh <build-dir>
#
# 1. DESTDIR=<tmp> cmake --install <build-dir> --prefix /usr, then checks the staged tree:
#    programs, udev rules in udev's rules.d, desktop entry (desktop-file-validate), icon,
#    manual pages, AppStream metadata (appstreamcli validate), copyright and changelog; runs
#    `udevadm verify` on the rules where this udevadm has it.
# 2. cpack -G DEB in <build-dir>, which makes two packages: kaldorium-lpt (command line,
#    simulated device, udev rules) and kaldorium-lpt-tool (the window). Checks each one's
#    control fields (dpkg-deb -f), maintainer scripts and file list (dpkg-deb -c), prints the
#    fields and the list, and runs lintian on it: no error, no warning.
# 3. The Ansible collection holmcraft.kaldorium_lpt in kaldorium-lpt: where ansible-core looks
#    for collections, modules not executable, galaxy.yml of this version, and ansible-doc
#    showing both modules from the package's files (unpacked with dpkg-deb -x).
#
# Installs nothing. Needs: cmake/cpack, dpkg-dev (dpkg-shlibdeps for CPack), desktop-file-utils,
# file, pkg-config, udev (udev.pc names the rules directory), appstream, lintian and
# ansible-core.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 <configured and built build directory>" >&2
    exit 64
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

app_id=example.holmcraft.KaldoriumLptTool
cli_id=example.holmcraft.KaldoriumLpt
rules_name=60-kaldorium-lpt.rules
cli_package=kaldorium-lpt
tool_package=kaldorium-lpt-tool

failures=0
ok() { echo "ok:   $*"; }
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
need() {
    command -v "$1" >/dev/null 2>&1 || {
        echo "$0: '$1' is missing (package: $2)" >&2
        exit 69
    }
}
need cmake cmake
need cpack cmake
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need desktop-file-validate desktop-file-utils
need file file
need appstreamcli appstream
need lintian lintian
need ansible-doc ansible-core

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

check_program() { # <name>
    local path=/usr/bin/$1
    check_file "$path" "program"
    if [ -x "$stage$path" ] && file -b "$stage$path" | grep -q '^ELF'; then
        ok "$1 is an ELF executable"
    else
        fail "$1 is not an ELF executable: $(file -b "$stage$path" 2>&1)"
    fi
}
for program in kaldorium-lpt-tool kaldorium-lpt kaldorium-lpt-sim; do
    check_program "$program"
done

# The installed command line against the installed simulated device: the loopback self-test
# fails on the net of a pin stuck low, and passes without the fault.
selftest_run() { # <expected exit> <expected last line> <simulator options...>
    local want=$1 last=$2 link=$stage/selftest-lpt sim code out
    shift 2
    "$stage/usr/bin/kaldorium-lpt-sim" --link "$link" "$@" >"$stage/sim.out" &
    sim=$!
    for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
    code=0
    out=$("$stage/usr/bin/kaldorium-lpt" --port "$link" selftest 2>&1) || code=$?
    kill "$sim"
    wait "$sim" || true
    if [ "$code" -eq "$want" ] && printf '%s\n' "$out" | tail -n 1 | grep -q "^$last"; then
        ok "installed selftest with kaldorium-lpt-sim $*: exit $code, $(printf '%s' "$out" | tail -n 1)"
    else
        fail "installed selftest with kaldorium-lpt-sim $*: exit $code, not $want: $out"
    fi
}
selftest_run 1 'selftest FAILED: pin 4 (D2) -> pin 12 (S5): stuck low' --plug passmark --stuck-low 4
selftest_run 0 'selftest passed: 5 nets, 10 patterns' --plug passmark

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

check_manpage() { # <program>; sets $man to the page's path
    man=/usr/share/man/man1/$1.1.gz
    [ -f "$stage$man" ] || man=/usr/share/man/man1/$1.1
    check_file "$man" "manual page"
    [ -f "$stage$man" ] || return 0
    local page title
    page=$(if [ "${man##*.}" = gz ]; then gzip -dc "$stage$man"; else cat "$stage$man"; fi)
    title=$(printf '%s' "$1" | tr '[:lower:]' '[:upper:]')
    if printf '%s\n' "$page" | grep -q "^\.TH $title 1" &&
        printf '%s\n' "$page" | grep -q "$version" &&
        ! printf '%s\n' "$page" | grep -q '@[A-Z_]*@'; then
        ok "$1(1) is section 1, version $version, fully configured"
    else
        fail "$1(1): header, version or configuration"
    fi
    if command -v groff >/dev/null 2>&1; then
        local warnings
        warnings=$(printf '%s\n' "$page" | groff -man -ww -z -Tutf8 2>&1 || true)
        [ -z "$warnings" ] && ok "groff reports nothing on $1(1)" || fail "groff: $warnings"
    fi
}
check_manpage kaldorium-lpt-tool
tool_man=$man
check_manpage kaldorium-lpt
cli_man=$man
check_manpage kaldorium-lpt-sim
sim_man=$man

completion=/usr/share/bash-completion/completions/kaldorium-lpt
check_file "$completion" "bash completion"

# AppStream: warnings and errors fail; infos are hints (the ids' "example" domain is no known
# one; appstreamcli before 1.0 does not know <developer>).
for id in "$app_id" "$cli_id"; do
    metainfo=/usr/share/metainfo/$id.metainfo.xml
    check_file "$metainfo" "AppStream metadata"
    [ -f "$stage$metainfo" ] || continue
    if out=$(appstreamcli validate --no-net --no-color "$stage$metainfo" 2>&1) &&
        ! printf '%s\n' "$out" | grep -Eq '^[WE]: '; then
        ok "appstreamcli validate $id"
    else
        fail "appstreamcli validate $id: $out"
    fi
    printf '%s\n' "$out" | sed 's/^/      /'
    grep -q "<release version=\"$version\"" "$stage$metainfo" && ok "$id lists release $version" ||
        fail "$id has no release $version"
    grep -q '<modalias>usb:v1209pDB42d\*</modalias>' "$stage$metainfo" &&
        ok "$id provides the DFU bootloader's modalias" || fail "$id lacks the modalias"
done

for package in "$cli_package" "$tool_package"; do
    doc=/usr/share/doc/$package
    check_file "$doc/copyright" "copyright"
    check_file "$doc/changelog.Debian.gz" "Debian changelog"
    if [ -f "$stage$doc/changelog.Debian.gz" ] &&
        gzip -dc "$stage$doc/changelog.Debian.gz" | head -n 1 | grep -q "($version-"; then
        ok "changelog of $package opens with $version"
    else
        fail "changelog of $package does not open with $version"
    fi
done

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
rm -f "$build/${cli_package}_"*.deb "$build/${tool_package}_"*.deb
(cd "$build" && cpack -G DEB)
arch=$(dpkg --print-architecture)

# A whole package name in a control field's list, with or without a version constraint.
lists() { # <field value> <extended regular expression for the name>
    printf '%s\n' "$1" | tr ',|' '\n\n' | grep -Eq "^ *($2)( |$)"
}

check_package() { # <package> <paths it must hold...>; sets $deb
    local package=$1
    shift
    deb=$build/${package}_${version}-1_$arch.deb
    if [ ! -f "$deb" ]; then
        fail "no package $(basename "$deb")"
        return 1
    fi
    echo "== control fields of $(basename "$deb")"
    dpkg-deb -f "$deb"
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = "$package" ] && ok "Package: $package" ||
        fail "Package: $(field Package)"
    [ "$(field Version)" = "$version-1" ] && ok "Version: $(field Version)" ||
        fail "Version $(field Version) is not the project's $version-1"
    [ "$(field Architecture)" = "$arch" ] && ok "Architecture: $arch" ||
        fail "Architecture: $(field Architecture)"
    lists "$(field Recommends)" dfu-util && ok "Recommends: dfu-util" ||
        fail "Recommends lacks dfu-util: $(field Recommends)"
    [ "$(field Section)" = electronics ] && ok "Section: electronics" ||
        fail "Section: $(field Section)"
    [ "$(field Maintainer)" = "Holmcraft <support@holmcraft.example>" ] && ok "Maintainer" ||
        fail "Maintainer: $(field Maintainer)"

    echo "== files of $(basename "$deb")"
    local list path
    list=$(dpkg-deb -c "$deb" | awk '{print $6}')
    printf '%s\n' "$list"
    for path in "$@"; do
        if printf '%s\n' "$list" | grep -qx ".$path"; then
            ok "$package holds $path"
        else
            fail "$package lacks $path"
        fi
    done
    if printf '%s\n' "$list" | grep -Eq '^\./(usr/)?local/|^\./tmp/|_CPack_Packages'; then
        fail "$package holds staging or /usr/local paths"
    fi

    echo "== lintian $(basename "$deb")"
    local report
    report=$(lintian --fail-on none "$deb" 2>&1 || true)
    printf '%s\n' "$report"
    if printf '%s\n' "$report" | grep -Eq '^[EW]: '; then
        fail "lintian reports errors or warnings on $package"
    else
        ok "lintian: no error, no warning on $package"
    fi
}

cli_doc=/usr/share/doc/$cli_package
collections=/usr/share/ansible/collections
collection=$collections/ansible_collections/holmcraft/kaldorium_lpt
check_package "$cli_package" /usr/bin/kaldorium-lpt /usr/bin/kaldorium-lpt-sim "$rules" \
    "$cli_man" "$sim_man" "$completion" "/usr/share/metainfo/$cli_id.metainfo.xml" \
    "$cli_doc/copyright" "$cli_doc/changelog.Debian.gz" "$cli_doc/plug-passmark.svg" \
    "$cli_doc/plug-checkit.svg" "$cli_doc/plug-full.svg" "$collection/galaxy.yml" \
    "$collection/README.md" "$collection/meta/runtime.yml" \
    "$collection/plugins/modules/defaults.py" "$collection/plugins/modules/info.py" \
    "$collection/plugins/module_utils/kaldorium_lpt.py" \
    "/usr/share/lintian/overrides/$cli_package"
cli_deb=$deb

echo "== the Ansible collection in $(basename "$cli_deb")"
if dpkg-deb -c "$cli_deb" | grep -E "^-[^ ]*x[^ ]* .*\.$collection/" >/dev/null; then
    fail "executable files in the collection: $(dpkg-deb -c "$cli_deb" | grep -E "^-[^ ]*x.*\.$collection/")"
else
    ok "no file of the collection is executable"
fi
unpacked=$stage/unpacked
dpkg-deb -x "$cli_deb" "$unpacked"
grep -qx "version: $version" "$unpacked$collection/galaxy.yml" && ok "galaxy.yml: version $version" ||
    fail "galaxy.yml does not give version $version"
# Ansible keeps temporary files in the home: one of the stage's, not the user's.
ansible_home=(env HOME="$stage/home" ANSIBLE_LOCAL_TEMP="$stage/home/tmp" LC_ALL=C.UTF-8
    ANSIBLE_NOCOLOR=1)
search=$("${ansible_home[@]}" ansible-config dump 2>&1 | grep '^COLLECTIONS_PATHS' || true)
if printf '%s\n' "$search" | grep -q "'$collections'"; then
    ok "ansible-core looks for collections in $collections"
else
    fail "ansible-core does not look in $collections: $search"
fi
for module in defaults info; do
    if out=$("${ansible_home[@]}" ANSIBLE_COLLECTIONS_PATH="$unpacked$collections" \
        ansible-doc "holmcraft.kaldorium_lpt.$module" 2>&1) &&
        printf '%s\n' "$out" | grep -qi "^> \(module \)\?holmcraft.kaldorium_lpt.$module\b" &&
        printf '%s\n' "$out" | grep -q '^RETURN VALUES'; then
        ok "ansible-doc holmcraft.kaldorium_lpt.$module from the package"
    else
        fail "ansible-doc holmcraft.kaldorium_lpt.$module: $out"
    fi
done
depends=$(dpkg-deb -f "$cli_deb" Depends)
# Qt's library packages whatever the release calls them (libqt5core5a, libqt5serialport5t64
# after Debian 13's 64-bit time move, libqt6core6 ...).
lists "$depends" 'libqt5core5[a-z0-9]*|libqt6core6[a-z0-9]*' && ok "Depends: a Qt Core library" ||
    fail "Depends names no Qt Core library: $depends"
lists "$depends" 'libqt[56]serialport[56][a-z0-9]*' && ok "Depends: a Qt SerialPort library" ||
    fail "Depends names no Qt SerialPort library: $depends"
if lists "$depends" 'libqt[56](gui|widgets)[56][a-z0-9-]*'; then
    fail "the command line's package depends on Qt Gui or Widgets: $depends"
else
    ok "no Qt Gui or Widgets in $cli_package's Depends"
fi
control=$stage/control
mkdir -p "$control"
dpkg-deb -e "$cli_deb" "$control"
for script in postinst postrm; do
    if [ -x "$control/$script" ] && sh -n "$control/$script" &&
        grep -q 'udevadm control --reload-rules' "$control/$script" &&
        grep -q 'udevadm trigger' "$control/$script"; then
        ok "$script reloads and re-triggers udev"
    else
        fail "$script missing, not executable, or not reloading udev"
    fi
done

tool_doc=/usr/share/doc/$tool_package
check_package "$tool_package" /usr/bin/kaldorium-lpt-tool "$desktop" "$icon" "$tool_man" \
    "/usr/share/metainfo/$app_id.metainfo.xml" "$tool_doc/copyright" \
    "$tool_doc/changelog.Debian.gz"
depends=$(dpkg-deb -f "$deb" Depends)
lists "$depends" "$cli_package \\(= $version-1\\)" && ok "Depends: $cli_package (= $version-1)" ||
    fail "Depends lacks $cli_package (= $version-1): $depends"
lists "$depends" 'libqt[56]widgets[56][a-z0-9]*' && ok "Depends: a Qt Widgets library" ||
    fail "Depends names no Qt Widgets library: $depends"
lists "$depends" 'libqt[56]serialport[56][a-z0-9]*' && ok "Depends: a Qt SerialPort library" ||
    fail "Depends names no Qt SerialPort library: $depends"
if dpkg-deb -c "$deb" | awk '{print $6}' | grep -Eq "rules\.d/|/usr/bin/kaldorium-lpt(-sim)?$"; then
    fail "$tool_package holds the command line's files"
fi

echo
if [ "$failures" -ne 0 ]; then
    echo "check-install: $failures check(s) failed" >&2
    exit 1
fi
echo "check-install: all checks passed ($cli_package and $tool_package $version-1)"
