#!/bin/sh
# Times the file-listing walk of a tree with and without --ignore-files, side by side
# (each round runs both, in alternating order, so load from other work on the machine
# falls on both), warm cache, and prints the medians and their ratio.
# The kernel tree as Debian ships it ends its top .gitignore with "/*" and "!/debian/"
# (everything but the packaging is ignored), so the walk would stop at once. The script
# walks a copy made of hard links instead (cheap, made once, in MIRROR, default
# /var/tmp/tarnwick-ignore-bench), whose top .gitignore is its own file without those two
# lines, and which is a git repository (an empty .git directory), so its hundreds of
# .gitignore files all apply.
# Usage: bench/ignore.sh [BUILD_DIR] [TREE]   (RUNS=5 by default)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
tw="$build/tarnwick-cli"
runs=${RUNS:-5}
mirror=${MIRROR:-/var/tmp/tarnwick-ignore-bench}
if [ ! -f "$mirror/.complete" ]; then
  rm -rf "$mirror"
  mkdir -p "$mirror"
  cp -al "$tree" "$mirror/tree"
  rm "$mirror/tree/.gitignore"
  grep -v -x -e '/\*' -e '!/debian/' "$tree/.gitignore" > "$mirror/tree/.gitignore"
  mkdir -p "$mirror/tree/.git"
  touch "$mirror/.complete"
fi
tree="$mirror/tree"
export XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

secs() { # wall time of "$@" in seconds
  s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N)
  awk "BEGIN{print $e - $s}"
}
median() { sort -g | awk '{a[NR]=$1} END{print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# An empty search text lists the files; warm the cache with one listing of each kind.
"$tw" /P "$tree/*.*" /d >/dev/null 2>&1 || true
"$tw" --ignore-files /P "$tree/*.*" /d >/dev/null 2>&1 || true
echo "files listed: $("$tw" /P "$tree/*.*" /d 2>/dev/null | wc -l) plain, $("$tw" --ignore-files /P "$tree/*.*" /d 2>/dev/null | wc -l) with --ignore-files"

plain=""; ignore=""
i=0
while [ "$i" -lt "$runs" ]; do
  if [ $((i % 2)) = 0 ]; then
    p=$(secs "$tw" /P "$tree/*.*" /d); g=$(secs "$tw" --ignore-files /P "$tree/*.*" /d)
  else
    g=$(secs "$tw" --ignore-files /P "$tree/*.*" /d); p=$(secs "$tw" /P "$tree/*.*" /d)
  fi
  plain="$plain $p"; ignore="$ignore $g"
  i=$((i + 1))
done
mp=$(echo $plain | tr ' ' '\n' | median)
mg=$(echo $ignore | tr ' ' '\n' | median)
printf 'plain walk          median %.3fs  (%s)\n' "$mp" "$plain"
printf 'with --ignore-files median %.3fs  (%s)\n' "$mg" "$ignore"
printf 'ratio %.3f\n' "$(awk "BEGIN{print $mg / $mp}")"
