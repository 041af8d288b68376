#!/bin/bash
# Resident memory of a long guide run on the simulator with the virtual clock: the command line's
# `guide` for HOURS simulated hours (default 24), its resident memory read while it runs and printed
# at each simulated hour (the clock time of its guide log's last row). Fails when, after the first
# hour, it grows by more than LIMIT_KB (default 1024) over what it was then.
#   scripts/guide_memory.sh [--cli PATH] [--limit-kb N] [HOURS] [-- GUIDE ARGS...]
# Default guide arguments: guider (the guider camera, the simulator's relay drive method).
set -u
cli="$(dirname "$0")/../build/qlm_t4_cli"
limit_kb=1024
hours=24
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --cli) cli="$2"; shift 2 ;;
    --limit-kb) limit_kb="$2"; shift 2 ;;
    [0-9]*) hours="$1"; shift ;;
    *) echo "usage: $0 [--cli PATH] [--limit-kb N] [HOURS] [-- GUIDE ARGS...]" >&2; exit 2 ;;
  esac
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || set -- guider
work=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2> /dev/null; rm -rf "$work"' EXIT
"$cli" --home "$work" settings set show_interface_details 0 > /dev/null
"$cli" --home "$work" settings set drive_method b > /dev/null
start=$(date +%s)
"$cli" --home "$work" --simulate --virtual-clock guide "$@" --seconds $((hours * 3600)) \
  --log "$work/run.csv" > "$work/out" 2> "$work/err" &
pid=$!
first=0 worst=0 hour=1
while kill -0 "$pid" 2> /dev/null; do
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2> /dev/null)
  ms=$(tail -n 1 "$work/run.csv" 2> /dev/null | cut -d, -f1)
  if [ -n "$rss" ] && [ -n "$ms" ] && [ "$ms" != time_ms ] && [ "$ms" -ge $((hour * 3600000)) ]; then
    frames=$(($(wc -l < "$work/run.csv") - 1))
    echo "hour $hour: $frames frames, resident $rss kB ($(($(date +%s) - start)) s wall)"
    [ "$hour" -eq 1 ] && first=$rss
    [ "$hour" -gt 1 ] && [ "$rss" -gt "$worst" ] && worst=$rss
    hour=$((hour + 1))
  fi
  sleep 1
done
wait "$pid"
status=$?
pid=""
cat "$work/out"
growth=$((worst > first ? worst - first : 0))
echo "guide $* for $hours simulated hours: exit $status, resident after hour 1 $first kB, largest after" \
  "$worst kB (+$growth kB), $(($(date +%s) - start)) s wall"
[ "$status" -eq 0 ] && [ "$first" -gt 0 ] && [ "$growth" -le "$limit_kb" ]
