#!/bin/sh
# Runs the INDI driver under indiserver with INDI's own command-line clients, inside a private network
# namespace (only loopback up: indiserver listens on every address and CI must open no port).
# Usage: indi_driver_test.sh DRIVER QLM_T4_CLI. Exits 77 (skipped) when a tool is missing.
set -u
driver=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
for tool in indiserver indi_setprop indi_getprop indi_eval unshare ip; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is not installed (Debian: indi-bin, util-linux, iproute2)"
    exit 77
  fi
done
python=
for p in /usr/bin/python3 python3; do
  if command -v "$p" >/dev/null 2>&1 && "$p" -c 'import astropy.io.fits, numpy' 2>/dev/null; then
    python=$p
    break
  fi
done
if [ -z "$python" ]; then
  echo "skipped: no python3 with astropy (Debian: python3-astropy)"
  exit 77
fi
# Root may make the namespace itself; anyone else maps to root in a new user namespace first.
flags=-n
[ "$(id -u)" -ne 0 ] && flags=-rn
if ! unshare $flags true 2>/dev/null; then
  echo "skipped: unshare $flags is not permitted here"
  exit 77
fi
exec unshare $flags sh -c 'ip link set lo up && exec "$0" "$@"' "$python" "$here/indi_driver_test.py" "$driver" "$cli"
