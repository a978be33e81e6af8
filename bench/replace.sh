#!/bin/sh
# Times a replace of a frequent literal over a fresh copy of the kernel's drivers/ tree
# against grep | xargs sed -i on another fresh copy, checks that both copies end
# byte-identical, and prints the ratios (without and with a backup directory).
# Usage: bench/replace.sh [BUILD_DIR] [TREE] [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
work=${3:-/var/tmp/tarnwick-replace-bench}
tw="$build/tarnwick-cli"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

fresh() { rm -rf "$work/$1"; mkdir -p "$work"; cp -a "$tree/drivers" "$work/$1"; sync; }
secs() { s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk "BEGIN{print $e - $s}"; }

fresh sed; fresh tw; fresh twb; rm -rf "$work/bak"
# Warm the page cache for all three copies.
cat $(find "$work/sed" "$work/tw" "$work/twb" -type f) >/dev/null 2>&1 || true

t_sed=$(secs sh -c "cd '$work/sed' && grep -rlZF static . | xargs -0 sed -i 's/static/STATIC/g'")
t_tw=$(secs "$tw" /Sstatic /RSTATIC /P "$work/tw/*.*" /d /n)
t_twb=$(secs "$tw" /Sstatic /RSTATIC /P "$work/twb/*.*" /d /n /B "$work/bak")

same=yes
diff -r "$work/sed" "$work/tw" >/dev/null || same=NO
diff -r "$work/sed" "$work/twb" >/dev/null || same=NO
printf 'sed pipeline            %7.3fs\n' "$t_sed"
printf 'tarnwick, no backup     %7.3fs  ratio %5.2f\n' "$t_tw" "$(awk "BEGIN{print $t_tw / $t_sed}")"
printf 'tarnwick, with backup   %7.3fs  ratio %5.2f\n' "$t_twb" "$(awk "BEGIN{print $t_twb / $t_sed}")"
echo "results byte-identical: $same"
