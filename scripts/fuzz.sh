#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/, only the fuzz targets and what they link) and
# runs each for SECONDS seconds on one core, starting from its seed corpus in fuzz/corpus/ and the
# corpus earlier runs grew (build-fuzz/corpus/). The fuzzers work on tmpfs (/dev/shm, or FUZZ_TMP):
# their input files, corpus and crash files there run several times faster than on disk. Prints the
# executions, executions per second and crash inputs of each target; exits non-zero when any target
# crashed, hung or leaked. Crash inputs are copied to build-fuzz/crashes/<target>/ (put them into the
# seed corpus once the reader is mended).
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   (targets: fits_reader fits_image pk_loader settings_loader
#        serial_reply guide_log; default all). FUZZ_JOBS=N runs N targets at a time (default 1);
#        FUZZ_RUNS=N also ends each target after N executions.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fits_reader fits_image pk_loader settings_loader serial_reply guide_log)
jobs=${FUZZ_JOBS:-1}

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQLM_BUILD_FUZZ=ON -DQLM_BUILD_GUI=OFF -DQLM_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz_}"

tmp_root=${FUZZ_TMP:-/dev/shm}
[ -d "$tmp_root" ] && [ -w "$tmp_root" ] || tmp_root=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$tmp_root/qlm-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# One target: its corpus and crash files on tmpfs, the program's files under its own TMPDIR there.
fuzz_one() {
  local t=$1 dir=$scratch/$1
  mkdir -p "$dir/corpus" "$dir/crashes" "$dir/tmp" "build-fuzz/corpus/$t"
  cp -r "build-fuzz/corpus/$t/." "$dir/corpus/"
  set +e
  TMPDIR=$dir/tmp "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} -print_final_stats=1 -max_len=8192 \
    -timeout=25 -artifact_prefix="$dir/crashes/" "$dir/corpus" "fuzz/corpus/$t" >"$dir/log" 2>&1
  echo $? >"$dir/rc"
  set -e
  cp -r "$dir/corpus/." "build-fuzz/corpus/$t/"
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

failed=0
for t in "${targets[@]}"; do
  dir=$scratch/$t
  rc=$(cat "$dir/rc")
  cp "$dir/log" "build-fuzz/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -1)
  found=$(find "$dir/crashes" -type f | wc -l)
  printf '%s: %s executions in %s s (%s exec/s), %s crash inputs (exit %s)\n' \
    "$t" "${execs:-0}" "$seconds" "${rate:-0}" "$found" "$rc"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    mkdir -p "build-fuzz/crashes/$t"
    cp "$dir/crashes/." "build-fuzz/crashes/$t/" -r
    tail -30 "$dir/log"
  fi
done
exit $failed
