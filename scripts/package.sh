#!/bin/sh
# Builds the Debian packages tarnwick (the desktop program) and tarnwick-cli (the
# command-line program alone, without the GUI libraries) with CPack:
#   sh scripts/package.sh [BUILD_DIR]
# BUILD_DIR (default build-pkg, a Release build without tests) is configured when new and
# built; the packages land in BUILD_DIR/packages/. Binaries are stripped, dependencies come
# from dpkg-shlibdeps and the version is the project's.
set -eu
cd "$(dirname "$0")/.."
dir="${1:-build-pkg}"
# TW_JOBS, when set, limits the parallel compile jobs (ninja picks its own number otherwise).
j="${TW_JOBS:+-j$TW_JOBS}"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTW_BUILD_TESTS=OFF \
    -DTW_BUILD_BENCH=OFF >/dev/null
fi
ninja -C "$dir" $j tarnwick-cli tw-docs $(grep -q '^TW_GUI:BOOL=OFF' "$dir/CMakeCache.txt" || echo tarnwick)
rm -rf "$dir/packages"
# Files and directories in the packages get the usual modes whatever the caller's umask.
umask 022
cpack --config "$dir/CPackConfig.cmake" -B "$dir/packages" >/dev/null
rm -rf "$dir/packages/_CPack_Packages"
ls "$dir"/packages/*.deb
