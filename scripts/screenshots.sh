#!/usr/bin/env bash
# Makes the README's pictures (docs/screenshots/*.png) from the program on the simulated camera and
# mount: main_window, camera_panel, autoguider_panel and guiding_window.
#
#   scripts/screenshots.sh [OUT_DIR]      # default docs/screenshots
#
# With Xvfb and openbox installed (scripts/setup.sh installs them) the windows are shown on a virtual
# X display under a window manager and grabbed with their frames; without them they are drawn
# offscreen. The pictures come from the GUI test program (Screenshots.ReadmeWindows), which drives the
# windows as a user would; QLM_T4_TEST_GUI names a built test_gui (the ctest run passes it), otherwise
# build/tests/test_gui is built first.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

test_gui="${QLM_T4_TEST_GUI:-}"
if [ -z "$test_gui" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  nice cmake --build build -j2 --target test_gui >/dev/null
  test_gui=build/tests/test_gui
fi

run() {
  QLM_T4_README_SHOTS="$out" "$test_gui" --gtest_filter='Screenshots.*' --gtest_brief=1
}

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

if command -v Xvfb >/dev/null && command -v openbox >/dev/null; then
  # A display number nobody uses: the first free one from 90.
  n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=("$!")
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  DISPLAY=":$n" openbox >/dev/null 2>&1 &
  pids+=("$!")
  sleep 1
  DISPLAY=":$n" QT_QPA_PLATFORM=xcb run
else
  QT_QPA_PLATFORM=offscreen run
fi

for name in main_window camera_panel autoguider_panel guiding_window; do
  if [ ! -s "$out/$name.png" ]; then
    echo "screenshots: $out/$name.png was not made" >&2
    exit 1
  fi
done
echo "screenshots: main_window camera_panel autoguider_panel guiding_window in $out"
