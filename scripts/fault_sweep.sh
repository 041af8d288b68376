#!/bin/bash
# Injects one camera fault (fail, short, unplug) at every transfer of a verb's run on the simulator
# and prints one line per run: the fault, the exit status and the messages it gave. A summary counts
# runs that exited 0 after a message and runs that gave more than one message.
#   scripts/fault_sweep.sh [--cli PATH] [--transfers N] -- VERB ARGS...
# Example: scripts/fault_sweep.sh --transfers 8 -- capture --unit s --count 1 --autosave
set -u
cli="$(dirname "$0")/../build/qlm_t4_cli"
transfers=40
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --cli) cli="$2"; shift 2 ;;
    --transfers) transfers="$2"; shift 2 ;;
    *) echo "usage: $0 [--cli PATH] [--transfers N] -- VERB ARGS..." >&2; exit 2 ;;
  esac
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 [--cli PATH] [--transfers N] -- VERB ARGS..." >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=0 zero_after_message=0 several=0
for kind in fail short unplug; do
  for ((i = 0; i < transfers; ++i)); do
    home="$work/$kind-$i"
    mkdir -p "$home"
    # The settings a first run would write, without the discovery box.
    "$cli" --home "$home" settings set show_interface_details 0 > /dev/null 2>&1
    "$cli" --home "$home" --simulate --virtual-clock --sim "fault.transfer=$i" \
      --sim "fault.transfer_kind=$kind" "$@" > "$home/out" 2> "$home/err"
    status=$?
    messages=$(grep -c . "$home/err")
    runs=$((runs + 1))
    [ "$status" -eq 0 ] && [ "$messages" -gt 0 ] && zero_after_message=$((zero_after_message + 1))
    [ "$messages" -gt 1 ] && several=$((several + 1))
    printf '%-6s %3d exit %d messages %d  %s\n' "$kind" "$i" "$status" "$messages" \
      "$(head -c 120 "$home/err" | tr '\n' '|')"
  done
done
echo "runs: $runs, exit 0 after a message: $zero_after_message, more than one message: $several"
