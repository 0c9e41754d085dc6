#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs the live test on an X display (Xvfb unless DISPLAY is set) with Qt's own, GTK 3 and
# KDE platform themes and with the ibus and fcitx input method modules, and prints, for a
# drag under way and for the firmware file dialog open, whether the test frames stayed on
# time, which dialog came up and, for the GTK one, that its window was there.
# Needs: xvfb, x11-utils, dbus; qt5-gtk-platformtheme, plasma-integration, ibus,
# fcitx5-frontend-qt5 for the themes and input methods (a missing one is reported).
#   bash bench/desktop-check.sh [build directory, default build-bench] [seconds per phase]
set -euo pipefail
cd "$(dirname "$0")/.."
bench="${1:-build-bench}/bench/kaldorium-lpt-bench"
seconds="${2:-3}"
[ -x "$bench" ] || { echo "no $bench: build it first (bash bench/run.sh builds build-bench)" >&2; exit 66; }

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:57
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill "$xvfb"' EXIT
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

has_plugin() { find /usr/lib -path "*qt5/plugins/$1/*$2*" 2>/dev/null | grep -q .; }

run() { # theme input-method
    local theme=$1 im=$2 label="theme ${1:-none (Qt dialogs)}, input method ${2:-(none)}"
    if [ -n "$theme" ] && ! has_plugin platformthemes "${theme/kde/KDE}"; then
        echo "$label: SKIPPED, no $theme platform theme installed"; return
    fi
    if [ -n "$im" ] && ! has_plugin platforminputcontexts "$im"; then
        echo "$label: SKIPPED, no $im input context installed"; return
    fi
    local seen=/tmp/desktop-check-window.$$ errors=/tmp/desktop-check-stderr.$$
    # Count the X windows titled like the dialog, as long as the check runs.
    ( found=0
      for _ in $(seq 150); do
          n=$(xwininfo -root -tree 2>/dev/null | grep -c '"Open firmware file"' || true)
          [ "$n" -gt "$found" ] && found=$n
          echo "$found" > "$seen"; sleep 0.2
      done ) &
    local looker=$!
    # The input method's own daemon, where there is one, in the session's bus.
    local daemon=true
    case "$im" in
        ibus) command -v ibus-daemon >/dev/null && daemon='ibus-daemon --daemonize --xim --replace; sleep 1' ;;
        fcitx) command -v fcitx5 >/dev/null && daemon='fcitx5 -d; sleep 1' ;;
    esac
    local figures
    figures=$(QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME="$theme" QT_IM_MODULE="$im" \
        QT_LOGGING_RULES='default.debug=false' timeout 60 \
        dbus-run-session -- bash -c "$daemon; exec \"\$0\" --scenario desktop --seconds $seconds" \
        "$bench" 2>"$errors") || true
    kill "$looker" 2>/dev/null || true
    wait "$looker" 2>/dev/null || true
    echo "$label: X windows titled \"Open firmware file\": $(cat "$seen" 2>/dev/null || echo 0)"
    echo "  $figures"
    grep -v -e '^$' -e 'fd limit' -e XDG_RUNTIME_DIR "$errors" | sed 's/^/  stderr: /' | head -5 || true
    rm -f "$seen" "$errors"
}

run "" ""
run gtk3 ""
run kde ""
run "" ibus
run "" fcitx
