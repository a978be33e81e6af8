#!/bin/sh
# The desktop program against tarnwick-cli on the same searches (warm cache): the wall
# time of `tarnwick ... /q` (offscreen: the window is real, nothing is drawn on a
# screen), its peak memory, and how late a 10 ms timer on the GUI thread is served
# while the results list fills. Medians of $RUNS runs, the two programs alternating.
# Usage: bench/gui.sh [BUILD_DIR] [TREE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
runs=${RUNS:-5}
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=$(mktemp -d) XDG_DATA_HOME=$(mktemp -d)
command -v /usr/bin/time >/dev/null || apt-get install -y -q time >/dev/null

wall() { s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk "BEGIN{print $e - $s}"; }
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END{print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

grep -rnF zzzzzz_warm "$tree" >/dev/null 2>&1 || true

bench() { # name, then the search switches
  name=$1; shift
  cli=""; gui=""
  for _ in $(seq "$runs"); do
    cli="$cli $(wall "$build/tarnwick-cli" "$@")"
    gui="$gui $(wall "$build/tarnwick" "$@" /q)"
  done
  c=$(echo "$cli" | median); g=$(echo "$gui" | median)
  printf '%-12s cli %7.3fs  tarnwick %7.3fs  ratio %5.2f  peak RSS cli %6d KB  tarnwick %6d KB\n' \
    "$name" "$c" "$g" "$(awk "BEGIN{print $g / $c}")" \
    "$(peak "$build/tarnwick-cli" "$@")" "$(peak "$build/tarnwick" "$@" /q)"
}

bench "PM_RESUME" /S"PM_RESUME" /P "$tree/*.*" /d
bench "struct*{ /x" /S"struct*{" /P "$tree/*.*" /d /x
echo "GUI thread while the list fills (struct*{ /x):"
for _ in 1 2 3; do "$build/tw-gui-latency" /S"struct*{" /P "$tree/*.*" /d /x 2>/dev/null; done
