#!/bin/sh
# Times a replace of a frequent literal over fresh copies of a part of the kernel tree
# (drivers/ unless SUBTREE says otherwise): tarnwick without and with a backup directory,
# and without its undo history ("Undo Space" 0, to show what keeping the history costs),
# grep | xargs sed -i, and a pipeline that uses every core (rg -l | xargs sd; ripgrep and
# sd must be installed). Each is run RUNS times (default 5) on a
# fresh, cached copy; the medians are printed side by side, and every copy must end
# byte-identical to the first sed pipeline's. The runs with a backup directory keep their
# undo history in a data directory of their own: the script deletes their backups between
# runs, and a plain run that then had to drop such a run from a shared history would pay,
# within its time, for freeing backups the script deleted outside it.
# Usage: [RUNS=5] [SUBTREE=drivers/net] bench/replace.sh [BUILD_DIR] [TREE] [WORK_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
work=${3:-/var/tmp/tarnwick-replace-bench}
runs=${RUNS:-5}
subtree=${SUBTREE:-drivers}
cores=$(nproc)
tw="$build/tarnwick-cli"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
# The settings of the runs without an undo history.
noundo="$work/config-noundo"
mkdir -p "$noundo/Pellworth Software Inc."
printf '[Options]\nUndo Space=0\n' >"$noundo/Pellworth Software Inc./TW32.conf"

fresh() { rm -rf "$work/$1"; mkdir -p "$work"; cp -a "$tree/$subtree" "$work/$1"; cat $(find "$work/$1" -type f) >/dev/null 2>&1 || true; sync; }
secs() { s=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; e=$(date +%s.%N); awk "BEGIN{print $e - $s}"; }
median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }

# The pipeline that uses every core is the comparison the replace's speed is judged by; a
# stand-in with sed is far slower than sd, so the script insists on the real tools.
for tool in rg sd; do
    command -v "$tool" >/dev/null || { echo "$tool is needed: apt-get install $([ "$tool" = rg ] && echo ripgrep || echo sd)"; exit 2; }
done
allcores_name="rg -l | xargs sd"
allcores="rg -l -0 static | xargs -0 sd -s static STATIC"

same=yes
t_sed="" t_all="" t_tw="" t_twb="" t_twn=""
for i in $(seq "$runs"); do
    fresh sed
    t_sed="$t_sed $(secs sh -c "cd '$work/sed' && grep -rlZF static . | xargs -0 sed -i 's/static/STATIC/g'")"
    fresh all
    t_all="$t_all $(secs sh -c "cd '$work/all' && $allcores")"
    fresh tw
    t_tw="$t_tw $(secs "$tw" /Sstatic /RSTATIC /P "$work/tw/*.*" /d /n)"
    fresh twb; rm -rf "$work/bak"
    t_twb="$t_twb $(XDG_DATA_HOME="$work/data-backup" secs "$tw" /Sstatic /RSTATIC /P "$work/twb/*.*" /d /n /B "$work/bak")"
    fresh twn
    t_twn="$t_twn $(XDG_CONFIG_HOME="$noundo" secs "$tw" /Sstatic /RSTATIC /P "$work/twn/*.*" /d /n)"
    for c in all tw twb twn; do
        diff -r "$work/sed" "$work/$c" >/dev/null || same=NO
    done
done

m_sed=$(echo "$t_sed" | median) m_all=$(echo "$t_all" | median)
m_tw=$(echo "$t_tw" | median) m_twb=$(echo "$t_twb" | median) m_twn=$(echo "$t_twn" | median)
echo "$subtree, $(find "$work/sed" -type f | wc -l) files, medians of $runs runs on $cores cores"
printf '%-28s %7.3fs\n' "grep | xargs sed" "$m_sed"
printf '%-28s %7.3fs\n' "$allcores_name" "$m_all"
printf '%-28s %7.3fs  %5.2fx sed  %5.2fx all cores\n' "tarnwick, no backup" "$m_tw" \
    "$(awk "BEGIN{print $m_tw / $m_sed}")" "$(awk "BEGIN{print $m_tw / $m_all}")"
printf '%-28s %7.3fs  %5.2fx sed  %5.2fx all cores\n' "tarnwick, with backup (/B)" "$m_twb" \
    "$(awk "BEGIN{print $m_twb / $m_sed}")" "$(awk "BEGIN{print $m_twb / $m_all}")"
printf '%-28s %7.3fs  undo history costs %+.1f%%\n' "tarnwick, no undo history" "$m_twn" \
    "$(awk "BEGIN{print ($m_tw / $m_twn - 1) * 100}")"
echo "runs:  sed$t_sed | all cores$t_all | tarnwick$t_tw | tarnwick /B$t_twb | no undo$t_twn"
echo "results byte-identical: $same"
