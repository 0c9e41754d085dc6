#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is needed, builds, and starts the program with the built-in simulated
# KALDORIUM-LPT (kaldorium-lpt-demo). With a display it opens the window; on a headless
# machine it runs under Xvfb, takes a screenshot of a live test and says where it is.
# The per-byte receive debug messages are filtered out here (QT_LOGGING_RULES); unset
# KALDORIUM_QUIET to see them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target kaldorium-lpt-demo kaldorium-lpt-tool

if [ "${KALDORIUM_QUIET:-1}" = 1 ]; then
    export QT_LOGGING_RULES="${QT_LOGGING_RULES:-default.debug=false}"
fi
demo=build/demo/kaldorium-lpt-demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$demo" "$@"
fi
shot=${KALDORIUM_SCREENSHOT:-$PWD/screenshots/demo-live-test.png}
# The screen's DPI as a desktop sets it (Xft.dpi): 96 is 100 %, 192 is 200 %.
dpi=${KALDORIUM_SCREENSHOT_DPI:-96}
echo "No display: running under Xvfb at $dpi DPI and saving a screenshot."
# -noreset: the server keeps the resource database once xrdb, its first client, has gone.
xvfb-run -a -s "-screen 0 1920x1200x24 -noreset" \
    sh -c 'echo "Xft.dpi: $1" | xrdb -nocpp -merge && shift && exec "$@"' \
    sh "$dpi" "$demo" --screenshot "$shot"
