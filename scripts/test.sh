#!/usr/bin/env bash
# Builds and runs every test twice: a normal build (build/), then with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), failing on any test failure or sanitizer report. Then
# builds the libFuzzer targets with clang and runs each for QLM_FUZZ_SECONDS (default 60) seconds,
# one target per core, failing on any crash, hang or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLM_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQLM_SANITIZE=ON -DQLM_BUILD_BENCH=OFF -DQLM_WERROR=ON
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

FUZZ_JOBS=$jobs scripts/fuzz.sh "${QLM_FUZZ_SECONDS:-60}"
