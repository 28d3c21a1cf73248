#!/usr/bin/env bash
# Start-up of an installed glotta with the shipped language data: the tool
# binary over an empty list, with and without the profile cache, against a
# second installation (the same tool before a change) and against /bin/true,
# all in the same run, and what the launcher bin/glotta adds to a start.
#
#   bench/startup/run.sh PREFIX [BASE_PREFIX]
#
# Reports instructions (callgrind: independent of the machine's load), task
# clock (perf stat) and wall time (hyperfine) of rounds interleaved with each
# other, as ratios, and peak resident memory. Writes bench/startup/RESULTS.md.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$(cd "${1:?usage: $0 PREFIX [BASE_PREFIX]}" && pwd)
base=${2:+$(cd "$2" && pwd)}
runs=${RUNS:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/empty.lst"

for tool in valgrind perf hyperfine python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$0: needs $tool" >&2; exit 1; }
done

# A configuration is "name:prefix:cache"; the prefix "-" is /bin/true. The
# tool binary runs itself (the launcher adds its own exec); its cache lives in
# a private cache directory, "none" makes it unwritable.
: > "$work/none"
configs=("new cache:$prefix:warm" "new no cache:$prefix:none")
[ "$base" ] && configs+=("before cache:$base:warm" "before:$base:none")
configs+=("/bin/true:-:-")

# Sets cmd to the command line of a configuration and vars to its
# environment, which the measuring tools pass on (so that they measure the
# program itself, not an env in front of it).
set_cmd() { # PREFIX CACHE
  if [ "$1" = - ]; then
    vars=()
    cmd=(/bin/true)
    return
  fi
  local cache=$work/cache-$2
  [ "$2" = none ] && cache=$work/none/x
  vars=("LD_LIBRARY_PATH=$1/_linux/bin" "XDG_CACHE_HOME=$cache")
  cmd=("$1/_linux/bin/glotta" "@$work/empty.lst")
}

instructions() {
  env "${vars[@]}" valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "${cmd[@]}" \
    >/dev/null 2>"$work/cg.log"
  sed -n 's/.*refs: *//p' "$work/cg.log" | tr -d ,
}

task_clock_ms() {
  env "${vars[@]}" perf stat -x, -e task-clock -r "$runs" -o "$work/perf.txt" "${cmd[@]}" \
    >/dev/null 2>&1
  grep task-clock "$work/perf.txt" | cut -d, -f1
}

wall_ms() { # -> "median min"
  env "${vars[@]}" hyperfine -N -w 3 -r "$runs" --export-json "$work/wall.json" -- "${cmd[*]}" \
    >/dev/null 2>&1
  python3 -c 'import json, statistics, sys
t = json.load(open(sys.argv[1]))["results"][0]["times"]
print("%.3f %.3f" % (statistics.median(t) * 1e3, min(t) * 1e3))' "$work/wall.json"
}

peak_kb() {
  env "${vars[@]}" /usr/bin/time -f %M "${cmd[@]}" 2>&1 >/dev/null | tail -1
}

# Fill the caches (files changed in the last seconds are not cached yet).
# An older build that tells builds apart by its program file sees valgrind's
# under valgrind: it gets a cache filled under valgrind for the instruction
# counts, and its own one again before the timed runs.
sleep 3
for c in "${configs[@]}"; do
  IFS=: read -r name p cache <<<"$c"
  [ "$cache" = warm ] || continue
  set_cmd "$p" "$cache"
  env "${vars[@]}" valgrind --tool=callgrind --callgrind-out-file=/dev/null "${cmd[@]}" \
    >/dev/null 2>&1
done

profiles=$(grep -cv '^[#[:space:]]\|^minsize:\|^minscore:\|^unknown:' \
  "$prefix/common/glotta/langlist.cfg" || true)
commit=$(git -C "$here" rev-parse --short HEAD 2>/dev/null || echo unknown)

declare -A ir clock wall wall_min peak
for c in "${configs[@]}"; do
  IFS=: read -r name p cache <<<"$c"
  set_cmd "$p" "$cache"
  ir[$name]=$(instructions)
done
for c in "${configs[@]}"; do
  IFS=: read -r name p cache <<<"$c"
  set_cmd "$p" "$cache"
  env "${vars[@]}" "${cmd[@]}" >/dev/null
done
for c in "${configs[@]}"; do
  IFS=: read -r name p cache <<<"$c"
  set_cmd "$p" "$cache"
  peak[$name]=$(peak_kb)
done
# Interleave the timed runs so that the machine's load hits all alike.
for _ in 1 2 3; do
  for c in "${configs[@]}"; do
    IFS=: read -r name p cache <<<"$c"
    set_cmd "$p" "$cache"
    clock[$name]="${clock[$name]:-} $(task_clock_ms)"
    read -r median minimum < <(wall_ms)
    wall[$name]="${wall[$name]:-} $median"
    wall_min[$name]="${wall_min[$name]:-} $minimum"
  done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
minimum() { tr ' ' '\n' | grep . | sort -g | head -1; }

# What the launcher adds: every run of the tool binary paired with one through
# the launcher (and the other installation's launcher), at raised priority
# where that is allowed.
priority=()
nice -n -10 true 2>/dev/null && priority=(nice -n -10)
"${priority[@]}" python3 "$here/launcher.py" "$prefix" ${base:+"before=$base/bin/glotta"} \
  --runs "${LAUNCHER_RUNS:-400}" >"$work/launcher.md"

ref="new no cache"
[ "$base" ] && ref="before"
ref_clock=$(echo "${clock[$ref]}" | median)
ref_wall=$(echo "${wall[$ref]}" | median)
{
  echo "# Start-up with the shipped language data"
  echo
  echo "Written by \`bench/startup/run.sh\` at commit $commit, $(date -u '+%Y-%m-%d %H:%M') UTC."
  echo "The tool binary over an empty list with $profiles profiles; $runs runs per"
  echo "measurement, three interleaved rounds: median task clock (perf stat) and"
  echo "median and minimum wall time (hyperfine), ratios against \"$ref\""
  echo "measured in the same run (the machine is shared: absolute times vary"
  echo "with its load, ratios much less). Instructions from callgrind."
  echo
  echo "| | instructions | task clock ms | ratio | wall ms | min ms | ratio | peak RSS MB |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|"
  for c in "${configs[@]}"; do
    IFS=: read -r name p cache <<<"$c"
    m=$(echo "${clock[$name]}" | median)
    w=$(echo "${wall[$name]}" | median)
    printf '| %s | %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.1f |\n' "$name" "${ir[$name]}" \
      "$m" "$(echo "$m / $ref_clock" | bc -l)" "$w" "$(echo "${wall_min[$name]}" | minimum)" \
      "$(echo "$w / $ref_wall" | bc -l)" "$(echo "${peak[$name]} / 1024" | bc -l)"
  done
  echo
  echo "The launcher \`bin/glotta\` against the tool binary that it runs, both over"
  echo "the empty list with the cache (\`launcher.py\`: ${LAUNCHER_RUNS:-400} turns, each running"
  echo "every program once; \"added\" is the median of the differences within a turn):"
  echo
  cat "$work/launcher.md"
  echo
  echo "Load: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores."
} | tee "$here/RESULTS.md"
