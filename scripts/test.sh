#!/bin/sh
# Installs what is missing, builds everything and runs every test. Fails when a test fails.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build
# Tests use their own settings and data directories.
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
ctest --test-dir build --output-on-failure -j2
