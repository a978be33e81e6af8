#!/bin/sh
# Installs what is missing, builds everything and starts the desktop program. Without a
# display (no DISPLAY or WAYLAND_DISPLAY) it says so and runs the command-line demo.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is available: running the command-line demo instead (scripts/search-demo.sh)." >&2
  exec sh scripts/search-demo.sh "$@"
fi
# TW_JOBS, when set, limits the parallel compile jobs (ninja picks its own number otherwise).
j="${TW_JOBS:+-j$TW_JOBS}"
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build $j tarnwick tarnwick-cli
exec ./build/tarnwick "$@"
