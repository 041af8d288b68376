#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/), runs every one of them with repetitions and prints
# one line per speed goal: NAME ratio R goal G ok|FAIL. Each ratio compares medians of the same run.
# Ratios use CPU time, the program's operations and OpenCV both on one thread; the lines marked
# "info" show OpenCV at its default thread count (wall time) and are not goals.
# QLM_BENCH_REPETITIONS (default 9) sets the repetitions; the raw results stay in build-bench/results/.
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${QLM_BENCH_REPETITIONS:-9}

cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQLM_BUILD_BENCH=ON -DQLM_BUILD_GUI=OFF \
  -DQLM_WERROR=ON >/dev/null
cmake --build build-bench --target filter_bench display_bench stretch_bench readout_bench \
  calibration_bench >/dev/null

out=build-bench/results
mkdir -p "$out"
for b in filter display stretch readout calibration; do
  "build-bench/bench/${b}_bench" --benchmark_repetitions="$reps" --benchmark_min_time=0.2 \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/$b.json" --benchmark_out_format=json \
    >"$out/$b.txt" 2>&1
done
python3 scripts/bench_goals.py "$out"
