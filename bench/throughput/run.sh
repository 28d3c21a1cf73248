#!/usr/bin/env bash
# Bulk throughput of glotta against the CLD2 peer, over one reproducible
# multilingual corpus.
#
#   bench/throughput/run.sh [PREFIX]
#
# PREFIX is the install prefix of glotta (default ./out/prefix); when
# PREFIX/bin/glotta is missing it is built in Release mode and installed
# there. Writes bench/throughput/RESULTS.md and prints it.
#
# Environment:
#   RUNS=5            repetitions of each bulk run (medians are reported)
#   STARTUP_RUNS=30   repetitions of the start-up measurement
#   BENCH_WORK=DIR    work directory (default bench/work, ignored by git)
#   FIXTURES=DIR      mixed-format fixtures measured per format
#                     (default tests/data/dxfilter/docs)
#   NO_BUILD=1        never build glotta; measure the peer only if absent
#   RESULTS=FILE      where to write the report (default bench/throughput/RESULTS.md)
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=common.sh source-path=SCRIPTDIR
. "$here/common.sh" "${1:-}"
runs=${RUNS:-5}
startup_runs=${STARTUP_RUNS:-30}
fixtures=${FIXTURES:-$repo/tests/data/dxfilter/docs}
results=${RESULTS:-$here/RESULTS.md}

need_pkg() {
  # command-to-test package
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "installing $2" >&2
    apt-get install -y "$2" >/dev/null || { apt-get update >/dev/null && apt-get install -y "$2" >/dev/null; }
  fi
}
need_pkg /usr/bin/time time
need_pkg hyperfine hyperfine
need_pkg iconv libc-bin
need_pkg g++ g++
for hdr in /usr/include/cld2/public/compact_lang_det.h:libcld2-dev \
           /usr/include/uchardet/uchardet.h:libuchardet-dev; do
  if [ ! -f "${hdr%%:*}" ]; then
    apt-get install -y "${hdr##*:}" >/dev/null
  fi
done

# 1. Corpus.
make_corpus

# 2. The tool.
if [ ! -x "$prefix/bin/glotta" ] && [ -z "${NO_BUILD:-}" ]; then
  echo "building glotta (Release) into $prefix" >&2
  if cmake -S "$repo" -B "$repo/build-release" -DCMAKE_BUILD_TYPE=Release \
       -DGLOTTA_TESTS=OFF >/dev/null &&
     cmake --build "$repo/build-release" -j2 >/dev/null &&
     cmake --install "$repo/build-release" --prefix "$prefix" >/dev/null; then
    :
  else
    echo "glotta did not build; measuring the peer only" >&2
  fi
fi

# 3. The peer driver.
mkdir -p "$work/bin"
driver=$work/bin/cld2_driver
if [ ! -x "$driver" ] || [ "$here/cld2_driver.cpp" -nt "$driver" ]; then
  g++ -std=c++20 -O2 -Wall -Wextra -Werror "$here/cld2_driver.cpp" -o "$driver" \
    -lcld2 -luchardet
fi

# 4. Measure and report.
python3 "$here/measure.py" --prefix "$prefix" --work "$work" --driver "$driver" \
  --repo "$repo" --runs "$runs" --startup-runs "$startup_runs" \
  --fixtures "$fixtures" --results "$results"
