#!/bin/sh
# Times a script of 20 literal pairs against a script of its first pair alone, on the same
# tree with a warm cache, side by side: the two runs alternate, and each row gives the
# median wall time of $RUNS runs, the ratio of the 20-pair run to the 1-pair run, and the
# peak memory of the 20-pair run. A search with many pairs reads each file once and scans
# only the pairs whose text is in it, so the ratio stays far below 20.
# The identifiers are of very different frequency in the kernel tree: from a few hundred
# files to tens of thousands.
# Output goes to a file in memory (/dev/shm), so that no run can take a short cut for /dev/null.
# Usage: bench/script.sh [BUILD_DIR] [TREE]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
tree=${2:-$(sh "$here/../../shared/bench/linux-corpus.sh" 2>/dev/null || sh /work/shared/bench/linux-corpus.sh)}
tw="$build/tarnwick-cli"
runs=${RUNS:-5}
work=$(mktemp -d /dev/shm/tw-bench-script.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
cores=$(nproc)

ids="spin_lock_irqsave EXPORT_SYMBOL_GPL kmalloc mutex_lock copy_from_user list_for_each_entry dev_err
rcu_read_lock atomic_inc kfree_skb container_of devm_kzalloc platform_get_irq wait_event_interruptible
schedule_timeout pci_enable_device of_property_read_u32 jiffies_to_msecs WARN_ON_ONCE memcpy_toio"

# script FILE ID... : a script with one search-only pair per identifier.
script() {
  file=$1; shift
  { printf '[Script for Tarnwick]\r\n'
    for id in "$@"; do printf '[Search]\r\n%s\r\n[Replace]\r\n\r\n' "$id"; done
    printf '[End of Tarnwick Script]\r\n'; } >"$file"
}
# shellcheck disable=SC2086
script "$work/many.tws" $ids
# shellcheck disable=SC2086
script "$work/one.tws" $(echo $ids | cut -d' ' -f1)

# One timed run: wall seconds, then peak RSS in KB.
timed() {
  s=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/t" "$@" >"$work/out" 2>/dev/null || true
  e=$(date +%s%N)
  echo "$(awk "BEGIN{print ($e - $s) / 1e9}") $(tail -1 "$work/t")"
}
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# Warm the cache.
"$tw" --threads 0 /S"zzzz_warm" /P "$tree/*.c;*.h" /d >/dev/null 2>&1 || true

echo "tree: $tree ($cores cores; medians of $runs runs)"
for threads in 0 1; do
  : >"$work/a"; : >"$work/b"; : >"$work/m"
  for _ in $(seq "$runs"); do
    r=$(timed "$tw" --threads "$threads" /C "$work/one.tws" /P "$tree/*.c;*.h" /d); echo "${r% *}" >>"$work/a"
    r=$(timed "$tw" --threads "$threads" /C "$work/many.tws" /P "$tree/*.c;*.h" /d); echo "${r% *}" >>"$work/b"
    echo "${r#* }" >>"$work/m"
  done
  a=$(median <"$work/a"); b=$(median <"$work/b"); m=$(sort -n "$work/m" | tail -1)
  printf '%-3s thr  1 pair %6.3fs  20 pairs %6.3fs  ratio %5.2f  20-pair peak %3d MB\n' \
    "$([ "$threads" = 0 ] && echo "$cores" || echo "$threads")" "$a" "$b" "$(awk "BEGIN{print $b / $a}")" "$((m / 1024))"
done
