#!/bin/sh
# Times pattern searches of tarnwick-cli against ripgrep with the equivalent regex on files
# made to be hard for a matcher that retries its stars: many stars on long lines of the
# same byte, a star before a byte that never comes, plus-repeats and several groups of
# alternatives; and for one that retries its counts: repeat counts exceeded from every
# start of a long run, a literal found far after many starts, counted runs on lines
# longer than the window. Each row gives the median wall time of $RUNS runs and the ratio.
# The files are built once in a cache directory outside the tree.
# Usage: bench/patterns.sh [BUILD_DIR] [CACHE_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
dir=${2:-/var/tmp/tarnwick-bench/patterns}
tw="$build/tarnwick-cli"
runs=${RUNS:-5}
out=/dev/shm/tw-patterns-out.$$
trap 'rm -f "$out"' EXIT
export XDG_CONFIG_HOME=$(mktemp -d)
command -v rg >/dev/null || { echo "ripgrep is needed: apt-get install ripgrep"; exit 2; }
mkdir -p "$dir"

# make NAME LINE COUNT: COUNT copies of LINE, each ending in a line feed.
make() {
  [ -s "$dir/$1" ] && return 0
  awk -v line="$2" -v n="$3" 'BEGIN { for (i = 0; i < n; ++i) print line }' >"$dir/$1.tmp"
  mv "$dir/$1.tmp" "$dir/$1"
}
rep() { awk -v s="$1" -v n="$2" 'BEGIN { r = ""; for (i = 0; i < n; ++i) r = r s; printf "%s", r }'; }

make a60.txt "$(rep a 60)" 171900                 # 10 MB of 60-byte lines of "a"
make a5000.txt "$(rep a 5000)" 200                # 1 MB of 5,000-byte lines
make a100k.txt "$(rep a 100000)" 1                # one line of 100,000 "a"
make a60b.txt "$(rep a 59)b" 171900               # 10 MB of lines "aaa...ab"
make groups.txt "$(rep 'foo baz ' 7)bar qux xyz" 150000 # alternatives that start but never finish
make a5000b.txt "$(rep a 4999)b" 200             # 1 MB of 5,000-byte lines "aaa...ab"
make xab.txt "$(rep x 3000)$(rep a 1500)b" 200       # 900 KB: a literal far after many starts

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
timed() {
  s=$(date +%s%N)
  "$@" >"$out" 2>/dev/null || true
  e=$(date +%s%N)
  awk "BEGIN{print ($e - $s) / 1e9}"
}

# row FILE PATTERN REGEX
row() {
  : >"$out.a"; : >"$out.b"
  for _ in $(seq "$runs"); do
    timed "$tw" --threads 1 "/S$2" "/P$dir/$1" /x >>"$out.a"
    timed rg -j1 -n -e "$3" "$dir/$1" >>"$out.b"
  done
  a=$(median <"$out.a"); b=$(median <"$out.b")
  rm -f "$out.a" "$out.b"
  printf '%-10s %-22s tarnwick %6.3fs  rg %-24s %6.3fs  ratio %6.2f\n' "$1" "$2" "$a" "$3" "$b" "$(awk "BEGIN{print $a / $b}")"
}

echo "files in $dir; medians of $runs runs, one thread"
row a60.txt '*a*a*a*d' 'a.*a.*a.*d'
row a5000.txt '*a*a*a*a*a*d' 'a.*a.*a.*a.*a.*d'
row a100k.txt '*a*b' 'a.*b'
row a60.txt '+[a]+[a]+[a]b' 'a+a+a+b'
row a60b.txt '+[a]+[a]+[a]b' 'a+a+a+b'
row a60b.txt '*a*a*b' 'a.*a.*b'
row groups.txt '(foo|bar)*[ -~](baz|qux)*[ -~](end|fin)' '(foo|bar)[ -~]*(baz|qux)[ -~]*(end|fin)'
row groups.txt '+(foo |baz )(bar|qux)+[ -~](end|fin)' '(foo |baz )+(bar|qux)[ -~]+(end|fin)'
row a5000.txt '+1000(a)' 'a{1000}'
row a5000b.txt 'a+1000[a]b' 'a{1001}b'
row a5000b.txt 'a+300(a)b' 'a{301}b'
row a100k.txt '+1000(aa|a)' '(aa|a){1000}'
row xab.txt 'x*[a]+1000(a)b' 'x[a]*a{1000}b'
row a100k.txt 'a*(ab|b)+40(aa|a)+2-40[a]*' 'a(ab|b)*(aa|a){40}a{2,40}.*'
