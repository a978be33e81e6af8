#!/bin/sh
# Times tarnwick-cli against ripgrep (and grep) on the same tree, warm cache, side by side:
# the runs of the two tools alternate, and each row gives the median wall time of $RUNS
# runs, the ratio, and tarnwick-cli's peak memory. Every search is measured with all cores
# and with one thread, and the speed-up of tarnwick-cli's threads is shown.
# Output goes to a file in memory (/dev/shm) for both tools, so neither can take a short cut
# for /dev/null.
# Usage: bench/compare.sh [BUILD_DIR] [TREE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
tw="$build/tarnwick-cli"
runs=${RUNS:-5}
out=/dev/shm/tw-bench-out.$$
trap 'rm -f "$out"' EXIT
export XDG_CONFIG_HOME=$(mktemp -d)
cores=$(nproc)
command -v rg >/dev/null || { echo "ripgrep is needed: apt-get install ripgrep"; exit 2; }

# One timed run: wall seconds, then peak RSS in KB.
timed() {
  s=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$out.t" "$@" >"$out" 2>/dev/null || true
  e=$(date +%s%N)
  echo "$(awk "BEGIN{print ($e - $s) / 1e9}") $(tail -1 "$out.t")"; rm -f "$out.t"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# Warm the cache.
rg -uuu -c zzzz_warm "$tree" >/dev/null 2>&1 || true

# row NAME THREADS "TARNWICK ARGS" REFERENCE...
row() {
  name=$1; threads=$2; twargs=$3; shift 3
  : >"$out.a"; : >"$out.b"; : >"$out.m"
  for _ in $(seq "$runs"); do
    r=$(eval timed "$tw" --threads "$threads" $twargs); echo "${r% *}" >>"$out.a"; echo "${r#* }" >>"$out.m"
    r=$(timed "$@"); echo "${r% *}" >>"$out.b"
  done
  a=$(median <"$out.a"); b=$(median <"$out.b"); m=$(sort -n "$out.m" | tail -1)
  rm -f "$out.a" "$out.b" "$out.m"
  ref=$(echo "$*" | sed "s| $tree||; s|$tree ||")
  printf '%-20s %-3s thr  tarnwick %6.3fs  %-30s %6.3fs  ratio %5.2f  tarnwick peak %3d MB\n' \
    "$name" "$( [ "$threads" = 0 ] && echo "$cores" || echo "$threads")" "$a" "$ref" "$b" "$(awk "BEGIN{print $a / $b}")" "$((m / 1024))"
  echo "$a" >"$out.last"
}

echo "tree: $tree ($cores cores; medians of $runs runs)"
speedups=""
search() { # NAME "TARNWICK ARGS" RG-ARGS...
  name=$1; twargs=$2; shift 2
  row "$name" 0 "$twargs" rg -uuu "$@" "$tree"; all=$(cat "$out.last")
  row "$name" 1 "$twargs" rg -j1 -uuu "$@" "$tree"; one=$(cat "$out.last")
  speedups="$speedups$(printf '%-20s speed-up with %d threads: %.2f' "$name" "$cores" "$(awk "BEGIN{print $one / $all}")")
"
}
search "literal PM_RESUME" "/S\"PM_RESUME\" /P \"$tree/*.*\" /d" -nF PM_RESUME
search "many hits: static" "/S\"static\" /P \"$tree/*.*\" /d" -n static
search "case-insensitive" "/S\"PM_RESUME\" /P \"$tree/*.*\" /di" -niF PM_RESUME
search "regex PM_+[A-Z_]" "/S\"PM_+[A-Z_]\" /P \"$tree/*.*\" /dx" -n -e 'PM_[A-Z_]+'
search "list all files" "/S\"\" /P \"$tree/*.*\" /d" --files
if [ "${GREP:-0}" = 1 ]; then
  row "literal vs grep" 1 "/S\"PM_RESUME\" /P \"$tree/*.*\" /d" grep -rnF PM_RESUME "$tree"
  row "struct*{ vs grep" 1 "/S\"struct*{\" /P \"$tree/*.*\" /dx" grep -rnE 'struct.*\{' "$tree"
fi
rm -f "$out.last"
printf '%s' "$speedups"
