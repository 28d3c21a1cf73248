#!/bin/bash
# Installs what is missing, builds glotta, installs it into out/prefix and
# identifies a sample document with the shipped language data.
#   scripts/setup_and_run.sh [document ...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

build=out/build
prefix=out/prefix
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLOTTA_TESTS=OFF
cmake --build "$build" -j2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix"

documents=("$@")
if ((${#documents[@]} == 0)); then
    for candidate in data/samples/* tests/data/tool/sample_en.txt; do
        if [[ -f $candidate ]]; then
            documents=("$candidate")
            break
        fi
    done
fi
if ((${#documents[@]} == 0)); then
    echo "setup_and_run.sh: no sample document found" >&2
    exit 1
fi

status=0
for document in "${documents[@]}"; do
    "$prefix/bin/glotta" -n 3 "$document" || status=$?
done
exit "$status"
