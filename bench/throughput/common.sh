# shellcheck shell=bash
# common.sh - what the throughput scripts share, sourced by run.sh,
# profile.sh, scan_jobs.sh and syscalls.sh with their first argument:
#
#   here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
#   . "$here/common.sh" "${1:-}"
#
# Sets repo (the repository), prefix (the installation: the argument, made
# absolute, default out/prefix), work ($BENCH_WORK, default bench/work) and
# corpus (its corpus directory). make_corpus writes the corpus when it is
# missing; its progress goes wherever the caller sends the function's output.
#
# The runs keep their profile caches in the work directory
# ($BENCH_WORK/profile-cache): the user's own cache directory keeps the caches
# of only the few most recent builds of a list, so other builds run meanwhile
# would otherwise evict the one measured, and its starts would quietly be
# uncached.
repo=$(cd "${here:?set here before sourcing common.sh}/../.." && pwd)
prefix=${1:-$repo/out/prefix}
case $prefix in /*) ;; *) prefix=$PWD/$prefix ;; esac
work=${BENCH_WORK:-$repo/bench/work}
corpus=$work/corpus
export XDG_CACHE_HOME=$work/profile-cache
mkdir -p "$XDG_CACHE_HOME"

make_corpus() {
  [ -f "$corpus/bulk.lst" ] || python3 "$here/make_corpus.py" --work "$work"
}
