#!/bin/sh
# Times tarnwick-cli against ripgrep on a tree of 1,000,000 small files (100 x 100
# directories of 100 files each) and shows tarnwick-cli's peak memory: a search with all
# cores and a listing on one thread, medians of $RUNS runs (3 by default), the runs of the
# two tools alternating. The tree is made once, in $TREE_CACHE (default
# /var/tmp/tarnwick-bench/million), outside the repository. One file in a hundred holds the
# word searched for. Output goes to a file in memory (/dev/shm) for both tools.
# Usage: bench/million.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tw="$build/tarnwick-cli"
runs=${RUNS:-3}
cache=${TREE_CACHE:-/var/tmp/tarnwick-bench/million}
tree="$cache/tree"
out=/dev/shm/tw-million-out.$$
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$out" "$out".* "$XDG_CONFIG_HOME"' EXIT
command -v rg >/dev/null || { echo "ripgrep is needed: apt-get install ripgrep"; exit 2; }

if [ ! -f "$cache/.complete" ]; then
  echo "making $tree (once)..."
  rm -rf "$cache"
  mkdir -p "$tree"
  perl -e '
    my $root = shift;
    for my $a (0 .. 99) {
      my $da = sprintf("%s/a%02d", $root, $a);
      mkdir $da or die "$da: $!";
      for my $b (0 .. 99) {
        my $db = sprintf("%s/b%02d", $da, $b);
        mkdir $db or die "$db: $!";
        for my $f (0 .. 99) {
          my $n = ($a * 100 + $b) * 100 + $f;
          open(my $fh, ">", sprintf("%s/f%02d.txt", $db, $f)) or die "$db: $!";
          print $fh "file $n of the synthetic tree\nsome words to scan past\n";
          print $fh "a line with the needle in it\n" if $n % 100 == 37;
          print $fh "the last line\n";
          close($fh);
        }
      }
    }' "$tree"
  touch "$cache/.complete"
fi

# One timed run: wall seconds, then peak RSS in KB.
timed() {
  s=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$out.t" "$@" >"$out" 2>/dev/null || true
  e=$(date +%s%N)
  echo "$(awk "BEGIN{print ($e - $s) / 1e9}") $(tail -1 "$out.t")"; rm -f "$out.t"
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# Warm the cache.
rg -uuu -c zzzz_warm "$tree" >/dev/null 2>&1 || true

# row NAME THREADS "TARNWICK ARGS" REFERENCE...
row() {
  name=$1; threads=$2; twargs=$3; shift 3
  : >"$out.a"; : >"$out.b"; : >"$out.m"; : >"$out.n"
  for _ in $(seq "$runs"); do
    r=$(eval timed "$tw" --threads "$threads" $twargs); echo "${r% *}" >>"$out.a"; echo "${r#* }" >>"$out.m"
    r=$(timed "$@"); echo "${r% *}" >>"$out.b"; echo "${r#* }" >>"$out.n"
  done
  a=$(median <"$out.a"); b=$(median <"$out.b"); m=$(median <"$out.m"); n=$(median <"$out.n")
  printf '%-10s %-3s thr  tarnwick %6.3fs %4d MB   rg %6.3fs %4d MB   time ratio %5.2f\n' \
    "$name" "$( [ "$threads" = 0 ] && nproc || echo "$threads")" "$a" "$((m / 1024))" "$b" "$((n / 1024))" \
    "$(awk "BEGIN{print $a / $b}")"
}

echo "tree: $tree ($(nproc) cores; medians of $runs runs; $tw)"
row "search" 0 "/S\"needle\" /P \"$tree/*.*\" /d" rg -uuu -nF needle "$tree"
row "list" 1 "/S\"\" /P \"$tree/*.*\" /d" rg -j1 -uuu --files "$tree"
