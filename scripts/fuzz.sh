#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/, only the fuzz targets and what they link) and
# runs each for SECONDS seconds on one core, starting from its seed corpus in fuzz/corpus/. Prints the
# executions and crashes of each target; exits non-zero when any target crashed. Crash inputs are
# left in build-fuzz/crashes/<target>/ (copy them into the seed corpus once the reader is mended).
# Usage: scripts/fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS}
targets=(fits_reader pk_loader settings_loader serial_reply guide_log)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQLM_BUILD_FUZZ=ON -DQLM_BUILD_GUI=OFF -DQLM_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  crashes=build-fuzz/crashes/$t
  mkdir -p "$work" "$crashes"
  log=build-fuzz/$t.log
  set +e
  "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -max_len=8192 \
    -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  found=$(find "$crashes" -type f | wc -l)
  echo "$t: ${execs:-0} executions in ${seconds} s, $found crash inputs (exit $rc)"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    tail -30 "$log"
  fi
done
exit $failed
