#!/usr/bin/env bash
# Builds the desktop program and starts it on the simulated camera.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qlm_t4 qlm_t4_cli
exec build/qlm_t4 --simulate "$@"
