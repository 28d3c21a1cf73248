#!/usr/bin/env bash
# Start-up of an installed glotta with the shipped language data: the tool
# binary over an empty list, with and without the profile cache, and against
# a second installation (the same tool before a change) in the same run.
#
#   bench/startup/run.sh PREFIX [BASE_PREFIX]
#
# Reports instructions (callgrind: independent of the machine's load), task
# clock and wall time as ratios of runs interleaved with each other (perf
# stat), and peak resident memory. Writes bench/startup/RESULTS.md.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$(cd "${1:?usage: $0 PREFIX [BASE_PREFIX]}" && pwd)
base=${2:+$(cd "$2" && pwd)}
runs=${RUNS:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/empty.lst"

for tool in valgrind perf /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$0: needs $tool" >&2; exit 1; }
done

# The tool binary itself (the launcher adds its own exec); the cache lives in
# a private cache directory, "none" makes it unwritable.
run_env() {
  local cache=$work/cache-$2
  [ "$2" = none ] && cache=$work/none/x
  echo "env LD_LIBRARY_PATH=$1/_linux/bin XDG_CACHE_HOME=$cache"
}
: > "$work/none"

instructions() { # PREFIX CACHE
  # shellcheck disable=SC2046
  $(run_env "$1" "$2") valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" \
    "$1/_linux/bin/glotta" "@$work/empty.lst" >/dev/null 2>"$work/cg.log"
  sed -n 's/.*refs: *//p' "$work/cg.log" | tr -d ,
}

stat_runs() { # PREFIX CACHE -> "task-clock-ms wall-s"
  # shellcheck disable=SC2046
  $(run_env "$1" "$2") perf stat -x, -e task-clock -r "$runs" -o "$work/perf.txt" \
    "$1/_linux/bin/glotta" "@$work/empty.lst" >/dev/null 2>&1
  local clock
  clock=$(grep task-clock "$work/perf.txt" | cut -d, -f1)
  echo "$clock"
}

peak_kb() { # PREFIX CACHE
  # shellcheck disable=SC2046
  $(run_env "$1" "$2") /usr/bin/time -f %M "$1/_linux/bin/glotta" "@$work/empty.lst" 2>&1 >/dev/null |
    tail -1
}

# Fill the caches (files changed in the last seconds are not cached yet).
sleep 3
for p in "$prefix" ${base:+"$base"}; do
  # Under valgrind the program file is valgrind's: a cache of its own.
  # shellcheck disable=SC2046
  $(run_env "$p" warm) valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "$p/_linux/bin/glotta" "@$work/empty.lst" >/dev/null 2>&1
done

profiles=$(grep -cv '^[#[:space:]]\|^minsize:\|^minscore:\|^unknown:' \
  "$prefix/common/glotta/langlist.cfg" || true)
commit=$(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)

declare -A ir clock peak
configs=("new cache:warm" "new no cache:none")
[ "$base" ] && configs+=("before cache:warm" "before:none")
for c in "${configs[@]}"; do
  name=${c%%:*}
  p=$prefix
  [[ $name == before* ]] && p=$base
  ir[$name]=$(instructions "$p" "${c##*:}")
done
# Back to caches written by the tool itself (valgrind's runs wrote their own).
for p in "$prefix" ${base:+"$base"}; do
  # shellcheck disable=SC2046
  $(run_env "$p" warm) "$p/_linux/bin/glotta" "@$work/empty.lst" >/dev/null
done
for c in "${configs[@]}"; do
  name=${c%%:*}
  p=$prefix
  [[ $name == before* ]] && p=$base
  peak[$name]=$(peak_kb "$p" "${c##*:}")
done
# Interleave the timed runs so that the machine's load hits all alike.
for round in 1 2 3; do
  for c in "${configs[@]}"; do
    name=${c%%:*}
    p=$prefix
    [[ $name == before* ]] && p=$base
    clock[$name]="${clock[$name]:-} $(stat_runs "$p" "${c##*:}")"
  done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ref="new no cache"
[ "$base" ] && ref="before"
ref_clock=$(echo "${clock[$ref]}" | median)
{
  echo "# Start-up with the shipped language data"
  echo
  echo "Written by \`bench/startup/run.sh\` at commit $commit, $(date -u +%Y-%m-%d)."
  echo "The tool binary over an empty list with $profiles profiles; $runs runs per"
  echo "measurement, three interleaved rounds, median task clock; ratios against"
  echo "\"$ref\" measured in the same run (the machine is shared: absolute times"
  echo "vary with its load, ratios much less). Instructions from callgrind."
  echo
  echo "| | instructions | task clock ms | ratio | peak RSS MB |"
  echo "|---|---:|---:|---:|---:|"
  for c in "${configs[@]}"; do
    name=${c%%:*}
    m=$(echo "${clock[$name]}" | median)
    printf '| %s | %s | %.2f | %.2f | %.1f |\n' "$name" "${ir[$name]}" "$m" \
      "$(echo "$m / $ref_clock" | bc -l)" "$(echo "${peak[$name]} / 1024" | bc -l)"
  done
  echo
  echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores."
} | tee "$here/RESULTS.md"
