#!/bin/sh
# Times a search of "static" inside archives of the kernel's drivers/net tree (a tar.gz and
# a zip) against zgrep / tar | grep and unzip -p | grep, with peak memory, and a tree of
# 1,000 small zip archives against the same members as plain files. Prints the ratios.
# The archives are built once and kept under WORK_DIR.
# Usage: bench/archives.sh [BUILD_DIR] [TREE] [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
work=${3:-/var/tmp/tarnwick-archive-bench}
tw="$build/tarnwick-cli"
mkdir -p "$work"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

# The archives: members pass the "ZIP File Mask", the main mask matches no file, so only
# the archive phase does any work.
mkdir -p "$XDG_CONFIG_HOME/Pellworth Software Inc."
cat > "$XDG_CONFIG_HOME/Pellworth Software Inc./TW32.conf" <<'CONF'
[Flags]
ZIP%20Mask="*.zip;*.tar.gz"
ZIP%20File%20Mask=*.*
CONF

if [ ! -f "$work/.complete" ]; then
    rm -rf "$work/one" "$work/many" "$work/plain"
    mkdir -p "$work/one/tgz" "$work/one/zip" "$work/many" "$work/plain"
    (cd "$tree/drivers" && tar czf "$work/one/tgz/net.tar.gz" net)
    (cd "$tree/drivers" && zip -q -r "$work/one/zip/net.zip" net)
    # 1,000 small archives of one source file each, and the same files unpacked.
    i=0
    for f in $(cd "$tree/drivers/net" && find . -name '*.c' -type f | sort | head -1000); do
        i=$((i + 1))
        d="$work/plain/$i"
        mkdir -p "$d"
        cp "$tree/drivers/net/$f" "$d/"
        (cd "$d" && zip -q "$work/many/$i.zip" "$(basename "$f")")
    done
    # A member of 2 GiB of zeros and one line at its end, a few megabytes packed.
    mkdir -p "$work/bomb"
    (head -c 2147483648 /dev/zero; echo "static at the end") | (cd "$work/bomb" && zip -q bomb.zip -)
    touch "$work/.complete"
fi
cat "$work/one/tgz/net.tar.gz" "$work/one/zip/net.zip" $(find "$work/many" "$work/plain" -type f) >/dev/null

# Best of three wall times; peak RSS in kB from the last run.
timed() {
    best=""
    for _ in 1 2 3; do
        s=$(date +%s.%N)
        /usr/bin/time -f %M -o "$work/rss" sh -c "$1" >/dev/null 2>&1 || true
        e=$(date +%s.%N)
        t=$(awk "BEGIN{print $e - $s}")
        best=$(awk "BEGIN{b=\"$best\"; print (b == \"\" || $t < b) ? $t : b}")
    done
    rss=$(cat "$work/rss")
    echo "$best $rss"
}
report() { # label, tarnwick "t rss", reference "t rss"
    set -- "$1" $2 $3
    printf '%-22s tarnwick %7.3fs %6d kB   reference %7.3fs %6d kB   ratio %5.2f\n' \
        "$1" "$2" "$3" "$4" "$5" "$(awk "BEGIN{print $2 / $4}")"
}

count() { "$tw" /Sstatic /P "$1" 2>/dev/null | tail -n 1; }
echo "tar.gz: $(count "$work/one/tgz/*.none")   zgrep -c: $(zgrep -c static "$work/one/tgz/net.tar.gz")"
echo "zip:    $(count "$work/one/zip/*.none")   unzip -p | grep -c: $(unzip -p "$work/one/zip/net.zip" | grep -c static)"

report "tar.gz vs zgrep -c" "$(timed "'$tw' /Sstatic /P '$work/one/tgz/*.none'")" \
    "$(timed "zgrep -c static '$work/one/tgz/net.tar.gz'")"
report "tar.gz vs tar|grep -c" "$(timed "'$tw' /Sstatic /P '$work/one/tgz/*.none'")" \
    "$(timed "tar xzOf '$work/one/tgz/net.tar.gz' | grep -c static")"
report "zip vs unzip|grep -c" "$(timed "'$tw' /Sstatic /P '$work/one/zip/*.none'")" \
    "$(timed "unzip -p '$work/one/zip/net.zip' | grep -c static")"
report "1000 zips vs plain" "$(timed "'$tw' /Sstatic /P '$work/many/*.none'")" \
    "$(timed "'$tw' /Sstatic /P '$work/plain/*.*' /d")"
# The zip bomb: wall time and peak memory only (the member is searched as a stream).
set -- $(timed "'$tw' /Sstatic /P '$work/bomb/*.none'")
printf '%-22s tarnwick %7.3fs %6d kB   (%s)\n' "2 GiB member" "$1" "$2" "$(count "$work/bomb/*.none")"
