#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Builds the benchmark (RelWithDebInfo, in build-bench), runs every scenario and writes the
# figures into BENCHMARKS.md at the top of the checkout (the analysis around them is kept).
# Arguments go to kaldorium-lpt-bench (see --help), e.g. --wait-quiet 600.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh build
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target kaldorium-lpt-bench
exec build-bench/bench/kaldorium-lpt-bench --output BENCHMARKS.md \
    --command "bash bench/run.sh${*:+ $*}" "$@"
