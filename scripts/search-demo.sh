#!/bin/sh
# Installs what is missing, builds tarnwick-cli and runs a search over the project's own
# sources. Extra arguments replace the default command, e.g.:
#   scripts/search-demo.sh /S"FileScanner" /P "src/*.cpp;*.h" /d
set -eu
cd "$(dirname "$0")/.."
# TW_JOBS, when set, limits the parallel compile jobs, as for scripts/test.sh.
j="${TW_JOBS:+-j$TW_JOBS}"
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build $j tarnwick-cli
if [ $# -eq 0 ]; then
  set -- /SExecuteRun /P "$(pwd)/src/*.cpp;*.h" /d
fi
./build/tarnwick-cli "$@"
