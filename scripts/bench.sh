#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and prints one line per speed goal,
# NAME ratio R goal G ok|FAIL, with the load average before and after. Each goal times its operation
# and its reference in alternation on thread CPU time and judges the median of the per-pair ratios
# (bench/paired.h), so other work on the machine moves both sides alike. QLM_BENCH_PAIRS (default
# 51) and QLM_BENCH_SAMPLE_MS (default 2) set the number and length of the samples; arguments select
# goals by part of their name (the guiding cycle runs only without arguments). The output also goes
# to build-bench/results/goals.txt. The *_bench programs in build-bench/bench/ give the operations'
# own times.
set -euo pipefail
cd "$(dirname "$0")/.."

# Warnings are not errors here: GCC 12 at -O3 reports false -Wrestrict warnings inside std::string.
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQLM_BUILD_BENCH=ON -DQLM_BUILD_GUI=OFF \
  -DQLM_WERROR=OFF >/dev/null
cmake --build build-bench --target speed_goals guide_cycle >/dev/null

out=build-bench/results
mkdir -p "$out"
load() { cut -d' ' -f1-3 /proc/loadavg; }
{
  echo "load average before: $(load) ($(nproc) cores)"
  build-bench/bench/speed_goals "$@" || true
  [ $# -gt 0 ] || build-bench/bench/guide_cycle || true
  echo "load average after: $(load)"
} | tee "$out/goals.txt"
! grep -q ' FAIL' "$out/goals.txt"
