#!/usr/bin/env bash

# SPDX-FileCopyrightText: 2026 Holmcraft
#
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs one fuzzer for a bounded time over a copy of its seed corpus.
#   bash fuzz/run.sh <build-dir> [seconds] [target]
# target: fuzz_receive_parser (the default; seeds in corpus/) or fuzz_profile_parser (seeds
# in profile_corpus/). Fails when the fuzzer finds a crash, a sanitizer report or a broken
# check; the input that caused it is kept in <build-dir>/fuzz/artifacts/. Prints the number
# of executions.
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 <build-dir> [seconds] [target]" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-60}
target=${3:-fuzz_receive_parser}
here=$(cd "$(dirname "$0")" && pwd)
case "$target" in
fuzz_receive_parser) seeds=$here/corpus dict=$here/receive_parser.dict max_len=4096 ;;
fuzz_profile_parser) seeds=$here/profile_corpus dict=$here/profile_parser.dict max_len=8192 ;;
*)
    echo "fuzz/run.sh: unknown target $target" >&2
    exit 2
    ;;
esac
fuzzer=$build/fuzz/$target
if [ ! -x "$fuzzer" ]; then
    echo "fuzz/run.sh: no fuzzer at $fuzzer (build the target $target)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds" "$work/corpus"
artifacts=$build/fuzz/artifacts
rm -rf "$artifacts"
mkdir -p "$artifacts"

echo "$target: ${seconds} s over $(ls "$work/corpus" | wc -l) seed inputs"
status=0
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$fuzzer" \
    -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -dict="$dict" -artifact_prefix="$artifacts/" \
    -print_final_stats=1 "$work/corpus" >"$work/log" 2>&1 || status=$?

grep -E '^(INFO: Seed|#[0-9]+ +DONE|Done [0-9]+ runs|stat::)' "$work/log" || true
echo
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
if [ "$status" -ne 0 ] || [ -n "$(ls -A "$artifacts")" ]; then
    echo "$target FAILED (exit status $status); the fuzzer's report:" >&2
    tail -n 60 "$work/log" >&2
    echo "inputs kept in $artifacts:" >&2
    ls -l "$artifacts" >&2
    exit 1
fi
if [ -z "$executions" ]; then
    echo "$target: no final statistics; the fuzzer did not run" >&2
    tail -n 30 "$work/log" >&2
    exit 1
fi
echo "$target: ${executions} executions, no fault"
