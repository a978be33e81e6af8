#!/bin/sh
# Times tarnwick-cli searching a UTF-16 copy of the kernel's drivers/net sources against
# the same search over the UTF-8 originals, and prints the ratio. The set is every .c file
# under drivers/net, recursively (about 2,950 files, 100 MB as UTF-8); a file that iconv
# cannot read as UTF-8 is left out of both sets, so both hold the same texts. The UTF-16
# copy is made with `iconv -f UTF-8 -t UTF-16` (byte-order mark, then the machine's order).
# Runs alternate between the two sets, so both see the same load on a shared machine;
# medians of RUNS (default 5) wall times.
# Usage: bench/utf16.sh [BUILD_DIR] [TREE] [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
work=${3:-/var/tmp/tarnwick-utf16-bench}
runs=${RUNS:-5}
tw="$build/tarnwick-cli"
mkdir -p "$work"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

if [ ! -f "$work/.complete" ]; then
    rm -rf "$work/utf8" "$work/utf16"
    skipped=0
    (cd "$tree/drivers/net" && find . -name '*.c' -type f | sort) > "$work/list"
    while IFS= read -r f; do
        mkdir -p "$work/utf8/$(dirname "$f")" "$work/utf16/$(dirname "$f")"
        if iconv -f UTF-8 -t UTF-16 "$tree/drivers/net/$f" > "$work/utf16/$f" 2>/dev/null; then
            cp "$tree/drivers/net/$f" "$work/utf8/$f"
        else
            rm -f "$work/utf16/$f"
            skipped=$((skipped + 1))
        fi
    done < "$work/list"
    echo "$skipped" > "$work/skipped"
    touch "$work/.complete"
fi
files=$(find "$work/utf8" -name '*.c' | wc -l)
echo "files: $files in each set ($(cat "$work/skipped") not valid UTF-8, left out);" \
    "UTF-8 $(du -sm "$work/utf8" | cut -f1) MB, UTF-16 $(du -sm "$work/utf16" | cut -f1) MB"
cat $(find "$work/utf8" "$work/utf16" -type f) > /dev/null # warm the cache

once() { # wall seconds of one search of "$1" (with flags "$2") over set $3
    s=$(date +%s.%N)
    "$tw" /S"$1" /P "$work/$3/*.c" /d"$2" > "$work/out-$3" 2>/dev/null || true
    e=$(date +%s.%N)
    awk "BEGIN{printf \"%.3f\", $e - $s}"
}
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

row() { # search text, extra flags
    t8="" t16=""
    for _ in $(seq "$runs"); do
        t8="$t8 $(once "$1" "$2" utf8)"
        t16="$t16 $(once "$1" "$2" utf16)"
    done
    m8=$(echo "$t8" | median)
    m16=$(echo "$t16" | median)
    # Both sets must give the same lines (file names aside).
    if sed "s|$work/utf8/||" "$work/out-utf8" | cmp -s - "$(sed "s|$work/utf16/||" "$work/out-utf16" > "$work/out-cmp"; echo "$work/out-cmp")"; then
        same=same
    else
        same=DIFFERENT
    fi
    printf '%-22s UTF-8 %6ss  UTF-16 %6ss  ratio %s  (results %s; runs UTF-8:%s  UTF-16:%s)\n' \
        "\"$1\" /d$2" "$m8" "$m16" "$(awk "BEGIN{printf \"%.2f\", $m16 / $m8}")" "$same" "$t8" "$t16"
}

row "netif_rx" ""
row "static" ""
row "SPIN_LOCK" "i"
