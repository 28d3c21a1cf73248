#!/usr/bin/env bash
# Where an installed glotta spends its time over the throughput corpus.
#
#   bench/throughput/profile.sh [PREFIX] [perf|callgrind]
#
# perf (default): samples the whole bulk run and prints the hottest symbols
# (flat, self time) and the run's counters (task clock, page faults, context
# switches). callgrind: counts instructions over the first 400 documents and
# prints the functions with the most (inclusive and self).
# Output also goes to bench/work/profile/.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh source-path=SCRIPTDIR
. "$here/common.sh" "${1:-}"
tool=${2:-perf}
out=$work/profile
mkdir -p "$out"

make_corpus
glotta=$prefix/bin/glotta
[ -x "$glotta" ] || { echo "no glotta at $glotta" >&2; exit 1; }

case $tool in
perf)
  command -v perf >/dev/null || apt-get install -y linux-perf >/dev/null
  perf stat -e task-clock,page-faults,context-switches,cpu-migrations \
    -o "$out/perf-stat.txt" -- "$glotta" "@$corpus/bulk.lst" "$out/glotta.txt" >/dev/null 2>&1 || true
  perf record -q -F 4999 -o "$out/perf.data" -- \
    "$glotta" "@$corpus/bulk.lst" "$out/glotta.txt" >/dev/null 2>&1 || true
  perf report -i "$out/perf.data" --stdio --no-children --sort dso,sym \
    --percent-limit 0.5 2>/dev/null | grep -v '^$' > "$out/perf-report.txt" || true
  cat "$out/perf-stat.txt"
  grep -v '^#' "$out/perf-report.txt" | head -40 || true
  ;;
callgrind)
  head -n 400 "$corpus/bulk.lst" > "$corpus/head400.lst"
  rm -f "$out"/callgrind.out.*
  # The launcher execs the tool; --trace-children follows it.
  valgrind --tool=callgrind --trace-children=yes \
    --callgrind-out-file="$out/callgrind.out.%p" \
    "$glotta" "@$corpus/head400.lst" "$out/glotta.txt" >/dev/null 2>"$out/valgrind.log" || true
  # The largest output file is the tool's (the others are the shell's helpers).
  file=$(ls -S "$out"/callgrind.out.* | head -1)
  callgrind_annotate --inclusive=yes "$file" > "$out/callgrind-inclusive.txt" 2>/dev/null || true
  callgrind_annotate "$file" > "$out/callgrind-self.txt" 2>/dev/null || true
  sed -n '/^Ir/,$p' "$out/callgrind-self.txt" | head -40
  ;;
*)
  echo "usage: $0 [PREFIX] [perf|callgrind]" >&2
  exit 2
  ;;
esac
