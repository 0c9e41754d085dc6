#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Installs what is needed, builds, and runs every check of the project:
#   1. the test suites (CTest, offscreen platform) on the Qt 5 build, with the benchmarks built;
#   2. the same suites on a Qt 6 build of the same sources (-DKALDORIUM_QT_MAJOR=6);
#   3. the licence headers (reuse lint), the installed tree, and the Debian packages
#      (lintian, appstreamcli, desktop-file-validate: packaging/check-install.sh);
#   4. the test suites again under AddressSanitizer, UBSan and LeakSanitizer;
#   5. bounded fuzz runs of the receive state machine and of the command line's profile
#      parser (KALDORIUM_FUZZ_SECONDS each, default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s)"; }

stage "build and test (Qt 5)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

stage "build and test (Qt 6)"
cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALDORIUM_QT_MAJOR=6 \
    -DKALDORIUM_BENCH=OFF "${launcher[@]}"
cmake --build build-qt6 -j"$jobs"
(cd build-qt6 && ctest --output-on-failure -j"$jobs")

stage "licence headers"
reuse lint

if [ -x packaging/check-install.sh ]; then
    stage "install and packages"
    bash packaging/check-install.sh build
fi

stage "sanitizers"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKALDORIUM_SANITIZE=ON \
    -DKALDORIUM_BENCH=OFF "${launcher[@]}"
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/../tests/lsan.supp" ctest --output-on-failure -j"$jobs")

if [ -d fuzz ]; then
    stage "fuzz"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKALDORIUM_FUZZ=ON -DBUILD_TESTING=OFF -DKALDORIUM_BENCH=OFF "${launcher[@]}"
    cmake --build build-fuzz -j"$jobs" --target fuzz_receive_parser fuzz_profile_parser
    for target in fuzz_receive_parser fuzz_profile_parser; do
        bash fuzz/run.sh build-fuzz "${KALDORIUM_FUZZ_SECONDS:-30}" "$target"
    done
fi
echo "All checks passed ($((SECONDS - started)) s)."
