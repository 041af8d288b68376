#!/usr/bin/env bash
# One simulated night calibrated, aligned and stacked by qlm_t4_cli and, when it is installed, by
# siril-cli, side by side in one run, with the same light, dark and flat frames.
#
#   scripts/bench_siril.sh [FRAMES]      (default 40 light frames of 3 s)
#
# The data set: light frames from the simulated camera with 25 % vignetting and dust shadows, the mount
# drifting; a dark with the telescope capped (--sim cap=on); a flat of the even light source
# (--sim flat_field=on). Ours: `process LIGHTS... --out-dir` with the dark and flat, then `stack`
# (the 16-bit average and the float mean). Siril: preprocess, register, mean stack without rejection.
# Printed: the times, and for each stack its sky level, and the median signal-to-noise of the stars
# measured in all of them, beside the float mean's.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${QLM_T4_CLI:-$here/build/qlm_t4_cli}
frames=${1:-40}
python=/usr/bin/python3
[ -x "$cli" ] || { echo "build qlm_t4_cli first ($cli)" >&2; exit 2; }

work=$(mktemp -d)
# KEEP=1 keeps the data set and the stacks (the folder is printed at the end).
[ "${KEEP:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
home=$work/home
sim=(--simulate --virtual-clock --sim vignetting=0.25 --sim dust=6 --sim pe_arcsec=0
  --sim drift_ra_arcsec_per_s=0.022 --sim drift_dec_arcsec_per_s=0.014)
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
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

t0=$(now)
q process "$work"/lights/*.fit --out-dir "$work/cal" --op "dark:$work/dark.raw" --op "flat:$work/flat.raw" \
  >/dev/null
t1=$(now)
q stack "$work/ours_mean.fit" "$work"/cal/*.fit --average >/dev/null
t2=$(now)
q stack "$work/ours_float.fit" "$work"/cal/*.fit --average --float >/dev/null
t3=$(now)
ours_cal=$(seconds "$t0" "$t1")
ours_stack=$(seconds "$t1" "$t2")
ours_float=$(seconds "$t2" "$t3")
ours_job=$(seconds "$t0" "$t2")

siril_job=""
stacks=("$work/ours_float.fit" "$work/ours_mean.fit")
if command -v siril-cli >/dev/null 2>&1; then
  # The sequence is made first (Siril's loading); the timed script calibrates, registers and stacks.
  printf 'requires 1.0.0\ncd lights\nconvert light -out=../seq\n' >"$work/convert.ssf"
  printf 'requires 1.0.0\ncd seq\npreprocess light -dark=../dark.fit -flat=../flat.fit\n%s\n%s\n' \
    'register pp_light' 'stack r_pp_light rej n -nonorm -out=../siril_mean' >"$work/job.ssf"
  siril-cli -d "$work" -s "$work/convert.ssf" >"$work/siril.log" 2>&1
  s0=$(now)
  siril-cli -d "$work" -s "$work/job.ssf" >>"$work/siril.log" 2>&1 || { tail -20 "$work/siril.log" >&2; exit 1; }
  s1=$(now)
  siril_job=$(seconds "$s0" "$s1")
  stacks+=("$(ls "$work"/siril_mean.fit*)")
fi

echo "frames: $frames lights of 3 s, one dark, one flat (660 x 500)"
printf '%-34s %8s\n' "step" "seconds"
printf '%-34s %8s\n' "ours: calibrate (process --out-dir)" "$ours_cal"
printf '%-34s %8s\n' "ours: align + stack --average" "$ours_stack"
printf '%-34s %8s\n' "ours: align + stack --float" "$ours_float"
printf '%-34s %8s\n' "ours: whole job" "$ours_job"
if [ -n "$siril_job" ]; then
  printf '%-34s %8s\n' "siril: preprocess+register+stack" "$siril_job"
  awk -v a="$ours_job" -v b="$siril_job" 'BEGIN { printf "ours / siril: %.2fx\n", a / b }'
fi
"$python" "$here/scripts/stack_quality.py" "${stacks[@]}"
[ "${KEEP:-0}" = 1 ] && echo "kept: $work"
exit 0
