#!/bin/sh
# Installs what is missing, builds everything and runs every test: once in the normal build,
# once with AddressSanitizer and UndefinedBehaviorSanitizer, the threaded search once with
# ThreadSanitizer, and the engine tests once more with scalar byte scans. Fails when a test fails.
set -eu
cd "$(dirname "$0")/.."
# TW_JOBS, when set, limits the parallel compile jobs (ninja picks its own number otherwise).
j="${TW_JOBS:+-j$TW_JOBS}"
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build $j
# Tests use their own settings and data directories.
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
ctest --test-dir build --output-on-failure -j2

# The same suite under the sanitizers; any report fails the test that caused it.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_BUILD_BENCH=OFF >/dev/null
ninja -C build-asan $j
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
ctest --test-dir build-asan --output-on-failure -j2

# The threaded search under ThreadSanitizer: the runs that compare several threads with one.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_TSAN=ON -DTW_BUILD_BENCH=OFF >/dev/null
ninja -C build-tsan $j test_core
TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(pwd)/scripts/tsan.supp" ./build-tsan/test_core --gtest_filter='ParallelRun*:OrderedPipeline*'

# The byte scans without vector instructions (the form non-x86 machines build): the engine's
# tests, and the core's, whose hit lines have vector scans too.
cmake -S . -B build-scalar -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_FORCE_SCALAR=ON -DTW_BUILD_BENCH=OFF >/dev/null
ninja -C build-scalar $j test_engine test_core
./build-scalar/test_engine
./build-scalar/test_core
