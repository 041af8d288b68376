#!/usr/bin/env bash
# Times a 1 s exposure through the INDI driver against the same readout through qlm_t4_cli, both on
# the simulator, in one run: indiserver runs in a private network namespace with the driver connected
# in simulation; each round runs bench/indi_expose (a client: request, wait for the FITS in CCD1) and
# `qlm_t4_cli --simulate readout --mode full --exposure-ms 1000`, as whole processes, in turn.
# Usage: scripts/bench_indi.sh [ROUNDS] [paced|instant]  (build/ must hold the driver and indi_expose)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-9}
pace=${2:-instant}
if [ "${QLM_BENCH_INDI_INSIDE:-}" != 1 ]; then
  flags=-n
  [ "$(id -u)" -ne 0 ] && flags=-rn
  exec env QLM_BENCH_INDI_INSIDE=1 unshare $flags bash "$0" "$rounds" "$pace"
fi
ip link set lo up
work=$(mktemp -d)
export HOME=$work QLM_T4_HOME=$work/qlm QLM_T4_SIM="seed=7"
indiserver "$PWD/build/indi_qlm_t4_ccd" >"$work/indiserver.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
dev="QLM T4 CCD"
for _ in $(seq 100); do indi_getprop -t 1 "$dev.CONNECTION.CONNECT" >/dev/null 2>&1 && break; sleep 0.1; done
[ "$pace" = paced ] && indi_setprop "$dev.SIM_PACE.PACED=On" || indi_setprop "$dev.SIM_PACE.INSTANT=On"
indi_setprop "$dev.SIMULATION.ENABLE=On"
indi_setprop "$dev.CONNECTION.CONNECT=On"
indi_eval -t 15 -w "\"$dev.CONNECTION.CONNECT\"==1"

ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
driver_ms=() cli_ms=()
for i in $(seq "$rounds"); do
  t=$(ms); build/bench/indi_expose 1 >>"$work/expose.log" 2>&1; driver_ms+=($(($(ms) - t)))
  t=$(ms); build/qlm_t4_cli --home "$work/cli" --simulate --sim seed=7 readout --mode full --exposure-ms 1000 \
    "$work/frame.raw" >/dev/null 2>&1; cli_ms+=($(($(ms) - t)))
done
d=$(printf '%s\n' "${driver_ms[@]}" | median)
c=$(printf '%s\n' "${cli_ms[@]}" | median)
grep -h "after the request" "$work/expose.log" | sed "s/^/  client: /"
echo "1 s exposure, $pace simulator, median of $rounds: driver $d ms, qlm_t4_cli $c ms, ratio $(awk "BEGIN {printf \"%.2f\", $d / $c}")"
