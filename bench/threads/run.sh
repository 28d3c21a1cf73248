#!/usr/bin/env bash
# Throughput of one engine context shared by 1 and by 2 threads, through the
# installed shared library (threads_bench.c, built with pkg-config).
#
#   bench/threads/run.sh [PREFIX] [LIST]
#
# PREFIX: the installation (default out/prefix). LIST: the documents, one
# per line (default the corpus of bench/throughput/make_corpus.py when it
# exists, else the end-to-end samples). SECONDS_EACH=3 and ROUNDS=3 set each
# measurement's length and the number of rounds (medians are reported).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
prefix=$(cd "${1:-$repo/out/prefix}" && pwd)
work=${BENCH_WORK:-$repo/bench/work}/threads
mkdir -p "$work"
list=${2:-}
if [[ -z $list ]]; then
    if [[ -f ${BENCH_WORK:-$repo/bench/work}/corpus/bulk.lst ]]; then
        list=${BENCH_WORK:-$repo/bench/work}/corpus/bulk.lst
    else
        list=$work/samples.lst
        ls "$repo"/tests/e2e/profiles/samples/*.txt "$repo"/tests/data/pipeline/*.txt >"$list"
    fi
fi
PKG_CONFIG_PATH=$prefix/lib/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
cc -O2 -std=c11 -Wall -Wextra -Werror "$here/threads_bench.c" $(pkg-config --cflags --libs glotta) \
    -lpthread -o "$work/threads_bench"
echo "cores: $(nproc), load: $(cut -d' ' -f1-3 /proc/loadavg)"
env -u LD_LIBRARY_PATH "$work/threads_bench" "$list" "${SECONDS_EACH:-3}" "${ROUNDS:-3}"
