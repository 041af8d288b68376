#!/bin/bash
# Injects one camera fault (fail, short, unplug) at every transfer of a verb's run on the simulator
# and prints one line per run: the fault, the exit status, the messages beyond those of a run without
# a fault, and what went wrong. A run goes wrong when it
#   - exits 0 after a message of its own (a failure reported as success),
#   - gives more than one message of its own,
#   - exits 0 with an output lost: a "saved PATH" that is not there, or a guide log with fewer rows
#     than the "frames:" it printed,
#   - keeps a FITS frame whose EXPTIME or mean level differs from the run without a fault (more than
#     10 %): a frame taken with a wrong exposure.
# The summary counts each; the script exits 1 when any run went wrong.
#   scripts/fault_sweep.sh [--cli PATH] [--transfers N] [--set FIELD=VALUE]... -- VERB ARGS...
# Without --transfers the run's transfer count is found first (the first transfer whose unplug the run
# no longer meets). Examples:
#   scripts/fault_sweep.sh -- capture --unit s --count 1 --autosave
#   scripts/fault_sweep.sh --set drive_method=b -- guide guider --seconds 30
#   scripts/fault_sweep.sh --set drive_method=b -- capture --guided --count 5 --autosave
set -u
cli="$(dirname "$0")/../build/qlm_t4_cli"
transfers=""
sets=()
usage() {
  echo "usage: $0 [--cli PATH] [--transfers N] [--set FIELD=VALUE]... -- VERB ARGS..." >&2
  exit 2
}
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --cli) cli="$2"; shift 2 ;;
    --transfers) transfers="$2"; shift 2 ;;
    --set) sets+=("$2"); shift 2 ;;
    *) usage ;;
  esac
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || usage
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# FITS files under a folder: one "name EXPTIME mean" line each (16-bit data with BZERO, or 8-bit).
fits_summary() {
  python3 - "$1" << 'EOF'
import array, os, sys
for root, _, names in sorted(os.walk(sys.argv[1])):
    for name in sorted(names):
        if not name.lower().endswith((".fit", ".fits")):
            continue
        path = os.path.join(root, name)
        data = open(path, "rb").read()
        cards, at = {}, 0
        while at + 80 <= len(data):
            card = data[at:at + 80].decode("ascii", "replace")
            at += 80
            key = card[:8].strip()
            if key == "END":
                break
            if card[8:10] == "= ":
                cards[key] = card[10:].split("/")[0].strip()
        at = (at + 2879) // 2880 * 2880
        bitpix = int(cards.get("BITPIX", "16"))
        n = int(cards.get("NAXIS1", "0")) * int(cards.get("NAXIS2", "0"))
        mean = float("nan")
        if bitpix == 16 and n > 0 and len(data) >= at + 2 * n:
            a = array.array("h", data[at:at + 2 * n])
            if sys.byteorder == "little":
                a.byteswap()
            mean = sum(a) / n + float(cards.get("BZERO", "0"))
        print(os.path.relpath(path, sys.argv[1]), cards.get("EXPTIME", "none"), "%.1f" % mean)
EOF
}

# Runs the verb in a fresh home with the given --sim keys; leaves $home, $status.
run() {
  home="$work/$1"
  shift
  mkdir -p "$home"
  # The settings a first run would write, without the discovery box.
  "$cli" --home "$home" settings set show_interface_details 0 > /dev/null 2>&1
  for s in "${sets[@]+"${sets[@]}"}"; do
    "$cli" --home "$home" settings set "${s%%=*}" "${s#*=}" > /dev/null 2>&1
  done
  mkdir -p "$work/io"
  "$cli" --home "$home" --simulate --virtual-clock "$@" "${verb[@]}" > "$work/io/$(basename "$home").out" \
    2> "$work/io/$(basename "$home").err"
  status=$?
  out="$work/io/$(basename "$home").out"
  err="$work/io/$(basename "$home").err"
}

verb=("$@")
run base
[ "$status" -eq 0 ] || { echo "the run without a fault fails (exit $status):" >&2; cat "$err" >&2; exit 1; }
cp "$err" "$work/base.err"
fits_summary "$work/base" > "$work/base.fits"

if [ -z "$transfers" ]; then
  # An unplug at any transfer of the run fails it; past its last transfer the run ends as without one.
  lo=-1 hi=1
  while run probe --sim "fault.transfer=$hi" --sim fault.transfer_kind=unplug; [ "$status" -ne 0 ]; do
    lo=$hi hi=$((hi * 2))
    rm -rf "$home"
  done
  while [ $((hi - lo)) -gt 1 ]; do
    mid=$(((lo + hi) / 2))
    run probe --sim "fault.transfer=$mid" --sim fault.transfer_kind=unplug
    if [ "$status" -ne 0 ]; then lo=$mid; else hi=$mid; fi
    rm -rf "$home"
  done
  transfers=$hi
fi
echo "$* : $transfers transfers"

runs=0 zero_after_message=0 several=0 lost=0 wrong_exposure=0
for kind in fail short unplug; do
  for ((i = 0; i < transfers; ++i)); do
    run "$kind-$i" --sim "fault.transfer=$i" --sim "fault.transfer_kind=$kind"
    # Messages of its own: standard-error lines the run without a fault did not give.
    messages=$(grep -vxFf "$work/base.err" "$err" | grep -c .)
    runs=$((runs + 1))
    wrong=""
    if [ "$status" -eq 0 ] && [ "$messages" -gt 0 ]; then
      zero_after_message=$((zero_after_message + 1)) wrong+=" exit-0-after-message"
    fi
    [ "$messages" -gt 1 ] && several=$((several + 1)) wrong+=" several-messages"
    if [ "$status" -eq 0 ]; then
      missing=0
      while read -r path; do
        [ -f "$path" ] || missing=1
      done < <(grep -o 'saved [^ ,]*' "$out" | cut -c7-)
      frames=$(sed -n 's/^frames: //p' "$out")
      for log in "$home"/guidelogs/*.csv; do
        [ -n "$frames" ] && [ -f "$log" ] && [ $(($(wc -l < "$log") - 1)) -ne "$frames" ] && missing=1
      done
      [ "$missing" -eq 1 ] && lost=$((lost + 1)) wrong+=" output-lost"
    fi
    # Each frame kept has the EXPTIME and, within 10 %, the mean level of the run without a fault.
    if fits_summary "$home" | awk 'NR == FNR { t[$1] = $2; m[$1] = $3; next }
        !($1 in t) || $2 != t[$1] || $3 < 0.9 * m[$1] || $3 > 1.1 * m[$1] { bad = 1 }
        END { exit !bad }' "$work/base.fits" -; then
      wrong_exposure=$((wrong_exposure + 1)) wrong+=" wrong-exposure"
    fi
    printf '%-6s %4d exit %d messages %d%s  %s\n' "$kind" "$i" "$status" "$messages" "${wrong:+ **$wrong}" \
      "$(grep -vxFf "$work/base.err" "$err" | head -c 120 | tr '\n' '|')"
    rm -rf "$home"
  done
done
echo "runs: $runs, exit 0 after a message: $zero_after_message, more than one message: $several," \
  "output lost: $lost, wrong exposure: $wrong_exposure"
[ $((zero_after_message + several + lost + wrong_exposure)) -eq 0 ]
