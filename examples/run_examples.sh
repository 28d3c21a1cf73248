#!/bin/bash
# Builds both examples against an installed tree and runs them with no
# LD_LIBRARY_PATH and no data path: the library must find its installation
# by itself. Checks the best language of an English, a French and a German
# text.
#   examples/run_examples.sh PREFIX WORK_DIR
set -euo pipefail
prefix=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"

cat >en.txt <<'TEXT'
The committee met on Tuesday to discuss the new budget for the public
libraries of the county. Several members asked whether the opening hours
could be extended during the summer, when students have more time to read.
TEXT
cat >fr.txt <<'TEXT'
Le conseil municipal s'est réuni mardi pour discuter du nouveau budget des
bibliothèques publiques. Plusieurs membres ont demandé si les heures
d'ouverture pourraient être prolongées pendant l'été.
TEXT

unset LD_LIBRARY_PATH TOLMAR_LANG
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig

echo "--- C with pkg-config"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror "$here/c/detect.c" $(pkg-config --cflags --libs glotta) -o detect
./detect en.txt fr.txt | tee c.out

echo "--- C++ with find_package"
cmake -S "$here/cmake" -B cmake-build -DCMAKE_PREFIX_PATH="$prefix" >cmake.log
cmake --build cmake-build >>cmake.log
cmake-build/detect_languages en.txt fr.txt | tee cpp.out

fail=0
expect() {  # FILE PATTERN
    if ! grep -q "$2" "$1"; then
        echo "run_examples: $1 lacks a line matching: $2" >&2
        fail=1
    fi
}
expect c.out '^en.txt: en '
expect c.out '^fr.txt: fr '
expect c.out '^(buffer): de '
expect cpp.out '^en.txt: en '
expect cpp.out '^fr.txt: fr '
exit $fail
