#!/bin/sh
# Times "tarnwick-cli --preview" of a frequent literal over the kernel's drivers/ tree (the
# patch written to a file) against the same replace run on a fresh copy of the tree, each
# ROUNDS times, and prints the medians side by side with their ratio. With CHECK=1 the
# first preview's patch is applied with git apply -p1 to another fresh copy, which must
# then equal the replaced copy byte for byte.
# Usage: bench/preview.sh [BUILD_DIR] [TREE] [WORK_DIR] [ROUNDS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
work=${3:-/var/tmp/tarnwick-preview-bench}
rounds=${4:-3}
tw="$build/tarnwick-cli"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$work"

fresh() { rm -rf "$work/$1"; cp -a "$tree/drivers" "$work/$1"; sync; }
secs() { s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk "BEGIN{print $e - $s}"; }
median() { sort -n | awk '{v[NR]=$1} END{print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

: >"$work/preview.times"
: >"$work/replace.times"
i=0
while [ "$i" -lt "$rounds" ]; do
    fresh tw
    # Warm the page cache for the tree and the copy alike.
    cat $(find "$tree/drivers" "$work/tw" -type f) >/dev/null 2>&1 || true
    secs sh -c "'$tw' /Sstatic /RSTATIC /P '$tree/drivers/*.*' /d /n --preview >'$work/drivers.patch' 2>/dev/null" \
        >>"$work/preview.times"
    secs "$tw" /Sstatic /RSTATIC /P "$work/tw/*.*" /d /n >>"$work/replace.times"
    i=$((i + 1))
done

t_preview=$(median <"$work/preview.times")
t_replace=$(median <"$work/replace.times")
printf 'replace (fresh copy)  median %7.3fs  rounds: %s\n' "$t_replace" "$(tr '\n' ' ' <"$work/replace.times")"
printf 'preview               median %7.3fs  rounds: %s\n' "$t_preview" "$(tr '\n' ' ' <"$work/preview.times")"
printf 'preview / replace     %5.2f\n' "$(awk "BEGIN{print $t_preview / $t_replace}")"
printf 'patch                 %s bytes\n' "$(wc -c <"$work/drivers.patch")"

if [ "${CHECK:-0}" = 1 ]; then
    fresh applied
    git -C "$work/applied" apply -p1 "$work/drivers.patch"
    if diff -r "$work/applied" "$work/tw" >/dev/null; then echo "patch applied equals the replace: yes"
    else echo "patch applied equals the replace: NO"; fi
    rm -rf "$work/applied"
fi
rm -rf "$work/tw"
