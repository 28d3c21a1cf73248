#!/usr/bin/env bash
# How glotta-scan scales with its worker threads: documents per second with
# -j 1 and -j 2 (and more, JOBS="1 2 4") over the end-to-end corpus of this
# benchmark, and beside them glotta's own bulk run and the two scale-out
# recipes of the README (GNU parallel, Dask) run on this machine alone.
#
#   bench/throughput/scan_jobs.sh [PREFIX]
#
# PREFIX is an installation (default ./out/prefix). The corpus is made by
# make_corpus.py when missing. Prints a Markdown table; the ratio column is
# each run's rate over the -j 1 rate. Medians of RUNS runs (default 5).
# On a machine shared with other work the ratio says little: look at the
# load average printed above the table.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh source-path=SCRIPTDIR
. "$here/common.sh" "${1:-}"
runs=${RUNS:-5}
jobs=${JOBS:-1 2}

make_corpus >&2
# The corpus list REPEAT times over (default 5), so that start-up (a tenth
# of a second) weighs little.
repeat=${REPEAT:-5}
list=$corpus/scan_jobs.lst
for _ in $(seq "$repeat"); do cat "$corpus/bulk.lst"; done >"$list"
documents=$(grep -c . "$list")

# Wall-clock seconds of one run of "$@" (standard output discarded).
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}

# a / b
ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

cd "$corpus"
echo "glotta-scan over $documents documents ($repeat times $corpus/bulk.lst; $(nproc) cores," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg)); medians of $runs runs"
echo
echo "| Run | Seconds | Documents/s | Ratio to -j 1 |"
echo "|---|---:|---:|---:|"
base=
for j in $jobs; do
  t=$(for _ in $(seq "$runs"); do
    seconds "$prefix/bin/glotta-scan" -j "$j" - <"$list"
  done | median)
  rate=$(ratio "$documents" "$t")
  [ -z "$base" ] && base=$rate
  printf '| glotta-scan -j %s | %.2f | %.0f | %.2f |\n' "$j" "$t" "$rate" "$(ratio "$rate" "$base")"
done
t=$(for _ in $(seq "$runs"); do seconds "$prefix/bin/glotta" "@$list"; done | median)
rate=$(ratio "$documents" "$t")
printf '| glotta (bulk list) | %.2f | %.0f | %.2f |\n' "$t" "$rate" "$(ratio "$rate" "$base")"

# The two ways of scaling out, here on this machine alone: the GNU parallel
# recipe with the local host only (one single-threaded glotta-scan per
# core, blocks of 1,000 paths), and python3 -m glotta.distributed with one
# local worker process per core (its start-up included).
cores=$(nproc)
if command -v parallel >/dev/null; then
  t=$(for _ in $(seq "$runs"); do
    seconds parallel --will-cite -k --pipe -N 1000 -S : -j "$cores" \
      "$prefix/bin/glotta-scan" -j 1 - <"$list"
  done | median)
  rate=$(ratio "$documents" "$t")
  printf '| GNU parallel -S :, %s x glotta-scan -j 1 | %.2f | %.0f | %.2f |\n' \
    "$cores" "$t" "$rate" "$(ratio "$rate" "$base")"
fi
python=${DASK_PYTHON:-/usr/bin/python3}
if "$python" -c 'import distributed' 2>/dev/null; then
  out=$(mktemp)
  t=$(for _ in $(seq "$runs"); do
    PYTHONPATH=$prefix/lib/python3/dist-packages seconds "$python" -m glotta.distributed \
      --local-workers "$cores" "$list" -o "$out"
  done | median)
  rm -f "$out"
  rate=$(ratio "$documents" "$t")
  printf '| Dask, --local-workers %s | %.2f | %.0f | %.2f |\n' \
    "$cores" "$t" "$rate" "$(ratio "$rate" "$base")"
fi
