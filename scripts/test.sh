#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is needed, builds, and runs every check of the project:
#   1. the test suites (CTest, offscreen platform) on a normal build, with the benchmarks built;
#   2. the installed tree and the Debian package;
#   3. the test suites again under AddressSanitizer, UBSan and LeakSanitizer;
#   4. a bounded fuzz run of the receive state machine (KALDORIUM_FUZZ_SECONDS, default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test
jobs=$(nproc)

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

if [ -x packaging/check-install.sh ]; then
    echo "== install and package"
    bash packaging/check-install.sh build
fi

echo "== sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKALDORIUM_SANITIZE=ON -DKALDORIUM_BENCH=OFF
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" ctest --output-on-failure -j"$jobs")

if [ -d fuzz ]; then
    echo "== fuzz"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKALDORIUM_FUZZ=ON -DBUILD_TESTING=OFF -DKALDORIUM_BENCH=OFF
    cmake --build build-fuzz -j"$jobs" --target fuzz_receive_parser
    bash fuzz/run.sh build-fuzz "${KALDORIUM_FUZZ_SECONDS:-60}"
fi
echo "All checks passed."
