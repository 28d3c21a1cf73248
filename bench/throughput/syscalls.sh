#!/usr/bin/env bash
# System calls and system time per document: glotta over the bulk list of
# this benchmark, beside CLD2's driver over the same list.
#
#   bench/throughput/syscalls.sh [PREFIX]
#
# Counts come from strace -f -c over the whole list less a run over an empty
# list (start-up); system time from wait4, medians of RUNS runs (default 9),
# start-up subtracted the same way. The CLD2 column needs the driver that
# run.sh builds (bench/work/bin/cld2_driver); it is left out without it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh source-path=SCRIPTDIR
. "$here/common.sh" "${1:-}"
make_corpus >&2
command -v strace >/dev/null || { echo "syscalls.sh: strace is missing" >&2; exit 2; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
: >"$scratch/empty.lst"

declare -A tools=([glotta]="$prefix/bin/glotta")
driver=$work/bin/cld2_driver
[ -x "$driver" ] && tools[cld2]="$driver -mode raw"

cd "$corpus"
documents=$(grep -c . bulk.lst)
echo "$documents documents, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Run | system calls per document | of them stat/fstat | system time per document |"
echo "|---|---:|---:|---:|"
for name in glotta cld2; do
  [ -n "${tools[$name]:-}" ] || continue
  # shellcheck disable=SC2206
  cmd=(${tools[$name]})
  # A first run writes what later runs reuse (glotta's profile cache).
  "${cmd[@]}" "@$scratch/empty.lst" "$scratch/out" >/dev/null 2>&1 || true
  for list in bulk empty; do
    list_file=bulk.lst
    [ $list = empty ] && list_file=$scratch/empty.lst
    strace -f -c -o "$scratch/$name.$list" "${cmd[@]}" "@$list_file" "$scratch/out" >/dev/null 2>&1 || true
  done
  python3 - "$documents" "$scratch/$name.bulk" "$scratch/$name.empty" "${RUNS:-9}" \
    "$scratch/empty.lst" "$scratch/out" "$name" "${cmd[@]}" <<'EOF'
import os, statistics, subprocess, sys
documents, bulk, empty, runs, empty_list, out, name = sys.argv[1:8]
cmd = sys.argv[8:]

def counts(path):
    total, stats = 0, 0
    for line in open(path):
        f = line.split()
        if len(f) >= 5 and f[0][0].isdigit() and f[-1] != 'total':
            calls = int(f[3])
            total += calls
            if 'stat' in f[-1]:
                stats += calls
    return total, stats

def system_time(listing):
    p = subprocess.Popen(cmd + ['@' + listing, out], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL)
    return os.wait4(p.pid, 0)[2].ru_stime

n = int(documents)
(bt, bs), (et, es) = counts(bulk), counts(empty)
# The list and the empty list in turns, so that both see the same load.
pairs = [(system_time('bulk.lst'), system_time(empty_list)) for _ in range(int(runs))]
sys_per_doc = statistics.median(b - e for b, e in pairs) / n * 1e6
print(f"| {name} | {(bt - et) / n:.2f} | {(bs - es) / n:.2f} | {sys_per_doc:.1f} µs |")
EOF
done
