#!/bin/bash
# Installs what is missing, then builds glotta and runs every test (unit and
# end-to-end, through ctest) twice: in a normal build and in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. The sanitizer variant also
# runs every libFuzzer target briefly (clang build in out/build-fuzz, a fixed
# number of inputs each) and `scripts/fuzz.py --smoke` on its installation.
# Exits non-zero on any failure.
#   scripts/test.sh [normal|sanitize]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

jobs=${GLOTTA_JOBS:-2}
variants=("$@")
if ((${#variants[@]} == 0)); then
    variants=(normal sanitize)
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:print_stacktrace=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_variant() {
    local variant=$1
    local build options
    case $variant in
    normal)
        build=out/build-test
        options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLOTTA_SANITIZE=OFF)
        ;;
    sanitize)
        build=out/build-sanitize
        options=(-DCMAKE_BUILD_TYPE=Debug -DGLOTTA_SANITIZE=ON)
        ;;
    *)
        echo "test.sh: unknown variant $variant (normal or sanitize)" >&2
        return 2
        ;;
    esac
    echo "=== $variant build ($build)"
    cmake -S . -B "$build" -DGLOTTA_TESTS=ON "${options[@]}"
    cmake --build "$build" -j"$jobs"
    echo "=== $variant tests"
    ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 300
    if [[ $variant == sanitize ]]; then
        run_fuzz "$build"
    fi
}

# The short fuzz runs (tests/fuzz/README.md) and the mutation smoke test of
# the installed sanitizer build (installed by the end-to-end tests).
run_fuzz() {
    local sanitize_build=$1 build=out/build-fuzz
    scripts/deps.sh fuzz
    echo "=== fuzz targets ($build)"
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DGLOTTA_FUZZ=ON -DGLOTTA_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" -j"$jobs" --target glotta_fuzz
    ctest --test-dir "$build" -j"$jobs" --output-on-failure -L fuzz
    echo "=== fuzz.py --smoke"
    python3 scripts/fuzz.py --smoke --prefix "$sanitize_build/e2e/prefix" \
        --work "$sanitize_build/fuzz-smoke"
}

for variant in "${variants[@]}"; do
    run_variant "$variant"
done
echo "=== all tests passed (${variants[*]})"
