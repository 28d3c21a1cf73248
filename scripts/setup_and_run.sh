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
    documents=(tests/data/tool/sample_en.txt)
fi

status=0
for document in "${documents[@]}"; do
    "$prefix/bin/glotta" -n 3 "$document" || status=$?
done
exit "$status"
