#!/usr/bin/env bash
# Builds the programs and the Debian package build/qlm-t4_VERSION_ARCH.deb (install it with
# sudo apt install ./build/qlm-t4_*.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target qlm_t4 qlm_t4_cli qlm_docs
cpack --config build/CPackConfig.cmake -B build
