#!/usr/bin/env bash
# One simulated night calibrated, aligned and stacked by qlm_t4_cli and, when it is installed, by
# siril-cli, side by side in one run, with the same light, dark and flat frames.
#
#   scripts/bench_siril.sh [FRAMES] [--sim KEY=VALUE]...
#
# FRAMES: light frames of 3 s (default 40); --sim keys change the simulated night (seed=7 another star
# field and other noise, for one). The data set: light frames from the simulated camera with 25 %
# vignetting and dust shadows, the mount drifting; a dark with the telescope capped (--sim cap=on);
# a flat of the even light source (--sim flat_field=on). Ours, timed two ways: `process LIGHTS...
# --out-dir` with the dark and flat then `stack` (calibrated frames kept on disk), and one `stack
# LIGHTS... --op dark --op flat` (calibrated in memory). Siril: preprocess, register, mean stack without
# rejection. Each job is run three times, in turn, and its median time printed. Then for each stack its
# sky level and the signal-to-noise of the stars measured in all of them (scripts/stack_quality.py),
# and the HFR of faint stars of our float stack beside a planted star 100 times brighter
# (scripts/hfr_neighbour.py).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${QLM_T4_CLI:-$here/build/qlm_t4_cli}
frames=40
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  frames=$1
  shift
fi
extra=("$@")
python=/usr/bin/python3
[ -x "$cli" ] || { echo "build qlm_t4_cli first ($cli)" >&2; exit 2; }

work=$(mktemp -d)
# KEEP=1 keeps the data set and the stacks (the folder is printed at the end).
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
home=$work/home
sim=(--simulate --virtual-clock --sim vignetting=0.25 --sim dust=6 --sim pe_arcsec=0
  --sim drift_ra_arcsec_per_s=0.022 --sim drift_dec_arcsec_per_s=0.014 "${extra[@]}")
q() { "$cli" --home "$home" "$@"; }

# Standard unsigned 16-bit FITS (BZERO 32768), which every reader takes as such.
q settings set unsignedFits off >/dev/null
newest() { ls -t "$home"/autosave/IMG*.FIT | head -n 1; }
q "${sim[@]}" capture --unit s --count 3 --frames "$frames" --continuous --autosave >/dev/null 2>&1
mkdir -p "$work/lights" "$work/cal"
i=0
for f in $(ls "$home"/autosave/IMG*.FIT | sort -V); do
  i=$((i + 1))
  mv "$f" "$work/lights/light_$(printf %04d $i).fit"
done
q "${sim[@]}" --sim cap=on capture --unit s --count 3 --autosave >/dev/null 2>&1
mv "$(newest)" "$work/dark.fit"
q "${sim[@]}" --sim flat_field=on capture --unit s --count 1 --autosave >/dev/null 2>&1
mv "$(newest)" "$work/flat.fit"
q process "$work/dark.fit" "$work/dark.raw" >/dev/null
q process "$work/flat.fit" "$work/flat.raw" >/dev/null

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

# Ours in two steps, calibrated frames written (and synced) into a folder, then the 16-bit average.
two_step() {
  rm -rf "$work/cal"
  mkdir "$work/cal"
  local t0 t1 t2
  t0=$(now)
  q process "$work"/lights/*.fit --out-dir "$work/cal" --op "dark:$work/dark.raw" --op "flat:$work/flat.raw" \
    >/dev/null
  t1=$(now)
  q stack "$work/ours_mean.fit" "$work"/cal/*.fit --average >/dev/null
  t2=$(now)
  echo "$(seconds "$t0" "$t1") $(seconds "$t1" "$t2") $(seconds "$t0" "$t2")"
}
# Ours in one run: each light calibrated in memory, aligned and added.
one_step() {
  local t0 t1
  t0=$(now)
  q stack "$work/ours_one.fit" "$work"/lights/*.fit --average --op "dark:$work/dark.raw" \
    --op "flat:$work/flat.raw" >/dev/null
  t1=$(now)
  seconds "$t0" "$t1"
}

have_siril=0
if command -v siril-cli >/dev/null 2>&1; then
  have_siril=1
  # The sequence is made first (Siril's loading); the timed script calibrates, registers and stacks.
  printf 'requires 1.0.0\ncd lights\nconvert light -out=../seq\n' >"$work/convert.ssf"
  printf 'requires 1.0.0\ncd seq\npreprocess light -dark=../dark.fit -flat=../flat.fit\n%s\n%s\n' \
    'register pp_light' 'stack r_pp_light rej n -nonorm -out=../siril_mean' >"$work/job.ssf"
  siril-cli -d "$work" -s "$work/convert.ssf" >"$work/siril.log" 2>&1
fi
siril_job() {
  local s0 s1
  s0=$(now)
  siril-cli -d "$work" -s "$work/job.ssf" >>"$work/siril.log" 2>&1 || { tail -20 "$work/siril.log" >&2; exit 1; }
  s1=$(now)
  seconds "$s0" "$s1"
}

cal=() stk=() two=() one=() sir=()
for round in 1 2 3; do
  read -r c s t <<<"$(two_step)"
  cal+=("$c") stk+=("$s") two+=("$t")
  one+=("$(one_step)")
  [ "$have_siril" = 1 ] && sir+=("$(siril_job)")
done
load=$(cut -d' ' -f1-3 /proc/loadavg)
q stack "$work/ours_float.fit" "$work"/cal/*.fit --average --float >/dev/null
cmp -s "$work/ours_one.fit" "$work/ours_mean.fit" || echo "warning: the one-run stack differs from the two-step one" >&2

echo "frames: $frames lights of 3 s, one dark, one flat (660 x 500); load average $load; median of 3 runs"
printf '%-44s %8s\n' "step" "seconds"
printf '%-44s %8s\n' "ours: calibrate (process --out-dir)" "$(median3 "${cal[@]}")"
printf '%-44s %8s\n' "ours: align + stack --average" "$(median3 "${stk[@]}")"
printf '%-44s %8s\n' "ours: whole job in two steps" "$(median3 "${two[@]}")"
printf '%-44s %8s\n' "ours: whole job in one run (stack --op)" "$(median3 "${one[@]}")"
stacks=("$work/ours_float.fit" "$work/ours_mean.fit")
if [ "$have_siril" = 1 ]; then
  printf '%-44s %8s\n' "siril: preprocess + register + stack" "$(median3 "${sir[@]}")"
  awk -v a="$(median3 "${two[@]}")" -v b="$(median3 "${one[@]}")" -v c="$(median3 "${sir[@]}")" \
    'BEGIN { printf "ours / siril, medians: two steps %.2fx, one run %.2fx\n", a / c, b / c }'
  echo "runs (two steps / one run / siril):"
  for i in 0 1 2; do
    awk -v a="${two[$i]}" -v b="${one[$i]}" -v c="${sir[$i]}" \
      'BEGIN { printf "  %.3f / %.3f / %.3f s: %.2fx and %.2fx of siril\n", a, b, c, a / c, b / c }'
  done
  stacks+=("$(ls "$work"/siril_mean.fit*)")
fi
"$python" "$here/scripts/stack_quality.py" "${stacks[@]}"
"$python" "$here/scripts/hfr_neighbour.py" "$work/ours_float.fit" "$cli" "$home"
[ "${KEEP:-0}" = 1 ] && echo "kept: $work"
exit 0
