#!/bin/sh
# Installs what is missing, builds everything and runs every test: once in the normal build
# (and the Debian packages made from it), once with AddressSanitizer and
# UndefinedBehaviorSanitizer, the threaded search once with ThreadSanitizer, and the engine
# tests once more with scalar byte scans. Fails when a test fails.
set -eu
cd "$(dirname "$0")/.."
# TW_JOBS, when set, limits the parallel compile jobs (ninja picks its own number otherwise).
j="${TW_JOBS:+-j$TW_JOBS}"
# Each stage names itself with the seconds since the start, so a slow stage shows in the log.
t0=$(date +%s)
stage() { echo "== $* (at $(($(date +%s) - t0)) s)"; }
sh scripts/setup.sh
stage "normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build $j
# Tests use their own settings and data directories.
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
stage "normal tests"
ctest --test-dir build --output-on-failure -j2

# The Debian packages, made from the build above: lintian, and the programs, the desktop
# file, the metainfo and the manual pages checked from the unpacked packages.
stage "package test"
sh scripts/package-test.sh build

# The checking builds below keep line tables only (reports still name the file and line),
# the sanitizer builds optimise less, which roughly halves their compile time, and all of
# them compile the libraries' files in batches of eight too (unity builds).
checking() {
  dir="$1" flags="$2"
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$flags -g1 -DNDEBUG" \
    -DTW_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8 "$@" >/dev/null
}

# The same suite under the sanitizers; any report fails the test that caused it. The desktop
# program's windows are left out here (their models are the app layer's, tested above and
# here): compiling and running them again took a third of this stage.
stage "sanitizer build"
checking build-asan -O1 -DTW_SANITIZE=ON -DTW_GUI=OFF
ninja -C build-asan $j
export XDG_CONFIG_HOME="$(mktemp -d)" XDG_DATA_HOME="$(mktemp -d)"
stage "sanitizer tests"
ctest --test-dir build-asan --output-on-failure -j2

# The threaded search and replace under ThreadSanitizer: the runs that compare several threads with one,
# those whose files a decision drops or whose members several pairs read, and the one-read
# search of many pairs.
stage "thread checks"
checking build-tsan -O1 -DTW_TSAN=ON -DTW_GUI=OFF \
  "-DTW_CORE_TESTS=ParallelRunTest;ParallelReplaceTest;StagingTailTest;ScanTester;FileDecisionTest;ArchiveRunTest;ReadOnceTest;BackgroundRemoverTest"
ninja -C build-tsan $j test_core
# Two processes, one per core: the runs of ParallelRun, and the other tests.
tsan() {
  TSAN_OPTIONS="halt_on_error=1 exitcode=66 suppressions=$(pwd)/scripts/tsan.supp" \
    ./build-tsan/test_core --gtest_filter="$1" >"build-tsan/$2.log" 2>&1
}
tsan 'ParallelRun*' runs & runs=$!
status=0
tsan 'ParallelReplace*:StagingTail*:OrderedPipeline*:FileDecision*:ArchiveRun.SeveralPairs*:ReadOnce*:BackgroundRemover*' others || status=$?
wait $runs || status=$?
cat build-tsan/runs.log build-tsan/others.log
[ "$status" -eq 0 ] || { echo "ThreadSanitizer tests failed (status $status)" >&2; exit 1; }

# The byte scans without vector instructions (the form non-x86 machines build): the engine's
# tests, and the core's that search through the hit lines (which have vector scans too) and
# compare the ways of scanning.
stage "scalar checks"
checking build-scalar -O2 -DTW_FORCE_SCALAR=ON -DTW_GUI=OFF \
  "-DTW_CORE_TESTS=HitLineTest;BlockBoundaryTest;ScanWaysTest;ScanTester;Utf16RunTest;RunDriverTest;ParallelRunTest;ContextPagerTest;ReplaceRunTest"
ninja -C build-scalar $j test_engine test_core
./build-scalar/test_engine
./build-scalar/test_core
stage "all passed"
