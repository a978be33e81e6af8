#!/bin/sh
# Times tarnwick-cli against grep and ripgrep on the same tree (warm cache) and prints
# the wall-time ratios and tarnwick-cli's peak memory.
# Usage: bench/compare.sh [BUILD_DIR] [TREE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
tw="$build/tarnwick-cli"
runs=${RUNS:-3}
export XDG_CONFIG_HOME=$(mktemp -d)

best() { # best wall time in seconds of $runs runs of the command "$@"
  b=""
  for _ in $(seq "$runs"); do
    s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
    t=$(awk "BEGIN{print $e - $s}")
    if [ -z "$b" ] || [ "$(awk "BEGIN{print ($t < $b)}")" = 1 ]; then b=$t; fi
  done
  echo "$b"
}
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }

# Warm the cache.
grep -rnF zzzzzz_warm "$tree" >/dev/null 2>&1 || true

row() { # name, tarnwick args..., then -- reference command
  name=$1; shift
  twargs=""; while [ "$1" != "--" ]; do twargs="$twargs $1"; shift; done; shift
  t_tw=$(eval best "$tw" $twargs)
  t_ref=$(best "$@")
  printf '%-28s tarnwick %7.3fs  %-22s %7.3fs  ratio %5.2f\n' "$name" "$t_tw" "$1 $2" "$t_ref" "$(awk "BEGIN{print $t_tw / $t_ref}")"
}

command -v rg >/dev/null || echo "(ripgrep not installed: apt-get install ripgrep)"
row "literal PM_RESUME"     "/S\"PM_RESUME\" /P \"$tree/*.*\" /d"  -- grep -rnF PM_RESUME "$tree"
command -v rg >/dev/null && row "literal PM_RESUME vs rg" "/S\"PM_RESUME\" /P \"$tree/*.*\" /d" -- rg -j1 -nF -uuu PM_RESUME "$tree"
row "case-insensitive"      "/S\"PM_RESUME\" /P \"$tree/*.*\" /di" -- grep -rniF PM_RESUME "$tree"
row "whole word"            "/S\"PM_RESUME\" /P \"$tree/*.*\" /dw" -- grep -rnwF PM_RESUME "$tree"
if [ "${REGEX:-1}" = 1 ]; then
  row "regex PM_+[A-Z_]"    "/S\"PM_+[A-Z_]\" /P \"$tree/*.*\" /dx" -- grep -rnE 'PM_[A-Z_]+' "$tree"
  row "regex +3[0-9]x"      "/S\"+3[0-9]x\" /P \"$tree/*.*\" /dx" -- grep -rnE '[0-9]{3}x' "$tree"
  row "regex struct*{"      "/S\"struct*{\" /P \"$tree/*.*\" /dx" -- grep -rnE 'struct.*\{' "$tree"
fi
echo "peak memory of tarnwick-cli (KB): $(peak "$tw" /S"PM_RESUME" /P "$tree/*.*" /d)"
