#!/bin/bash
# Runs one end-to-end case: run_case.sh LAUNCHER CASE_DIR WORK_DIR
# See README.md in this directory for the layout of a case.
set -u
launcher=$1
case_dir=$2
work=$3

prefix=$(dirname -- "$(dirname -- "$launcher")")

fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# @WORK@ stands for the absolute work directory, @CASE@ for the case
# directory, @PREFIX@ for the installation prefix, in args, env, *.in files and the expected files.
substitute() {
    local text=$1
    text=${text//@WORK@/$work}
    text=${text//@CASE@/$case_dir}
    text=${text//@PREFIX@/$prefix}
    printf '%s' "$text"
}

# A case that asserts nothing would pass whatever the tool does.
if [[ ! -f $case_dir/expected_stdout && ! -f $case_dir/expected_stderr &&
      ! -d $case_dir/expected_files && ! -f $case_dir/check.sh ]]; then
    echo "FAIL: the case checks no output (add expected_stdout, expected_stderr, expected_files/ or check.sh)" >&2
    exit 1
fi

rm -rf "$work"
mkdir -p "$work/run" "$work/tmp"
if [[ -d $case_dir/files ]]; then
    cp -a "$case_dir/files/." "$work/run/"
fi
# Profiles shared with other cases, from profiles/ beside the cases.
if [[ -f $case_dir/profiles ]]; then
    shared=$(dirname -- "$(dirname -- "$case_dir")")/profiles
    while read -r source destination || [[ -n $source ]]; do
        [[ -z $source ]] && continue
        if ! mkdir -p "$work/run/$(dirname -- "$destination")" ||
            ! cp "$shared/$source" "$work/run/$destination"; then
            echo "FAIL: shared profile $source cannot be copied" >&2
            exit 1
        fi
    done <"$case_dir/profiles"
fi
while IFS= read -r -d '' template; do
    substitute "$(cat "$template"; printf x)" | head -c -1 >"${template%.in}"
    rm -f "$template"
done < <(find "$work/run" -name '*.in' -type f -print0)

args=()
if [[ -f $case_dir/args ]]; then
    while IFS= read -r line || [[ -n $line ]]; do
        args+=("$(substitute "$line")")
    done <"$case_dir/args"
fi

# Inputs too large or too many to keep in the repository are made at run time.
if [[ -f $case_dir/setup.sh ]]; then
    if ! (cd "$work/run" && CASE_DIR=$case_dir WORK_DIR=$work bash "$case_dir/setup.sh"); then
        echo "FAIL: setup.sh failed" >&2
        exit 1
    fi
fi

# The debug log and any other temporary file stay inside the work directory.
export TMPDIR=$work/tmp
# So does the profile cache of a large language list.
export XDG_CACHE_HOME=$work/cache
unset TOLMAR_LANG
if [[ -f $case_dir/env ]]; then
    while IFS= read -r line || [[ -n $line ]]; do
        [[ -z $line || $line == \#* ]] && continue
        export "$(substitute "$line")"
    done <"$case_dir/env"
fi

# The installed program the case runs: bin/glotta unless `command` names another.
program=$launcher
if [[ -f $case_dir/command ]]; then
    program=$prefix/bin/$(tr -d ' \n' <"$case_dir/command")
fi
stdin=/dev/null
if [[ -f $case_dir/stdin ]]; then
    substitute "$(cat "$case_dir/stdin"; printf x)" | head -c -1 >"$work/stdin"
    stdin=$work/stdin
fi

(cd "$work/run" && exec "$program" "${args[@]}" >"$work/stdout" 2>"$work/stderr" <"$stdin")
status=$?

failed=0
compare() {
    local expected=$1 actual=$2 what=$3
    substitute "$(cat "$expected"; printf x)" | head -c -1 >"$work/expected.tmp"
    if ! cmp -s "$work/expected.tmp" "$actual"; then
        fail "$what differs (expected, actual):"
        diff -u --label expected --label actual "$work/expected.tmp" "$actual" | head -n 60 >&2
    fi
}
[[ -f $case_dir/expected_stdout ]] && compare "$case_dir/expected_stdout" "$work/stdout" stdout
[[ -f $case_dir/expected_stderr ]] && compare "$case_dir/expected_stderr" "$work/stderr" stderr
expected_status=0
[[ -f $case_dir/expected_status ]] && expected_status=$(tr -d ' \n' <"$case_dir/expected_status")
if [[ $status != "$expected_status" ]]; then
    fail "exit status $status, expected $expected_status"
fi
if [[ -d $case_dir/expected_files ]]; then
    while IFS= read -r -d '' expected; do
        relative=${expected#"$case_dir/expected_files/"}
        if [[ ! -f $work/run/$relative ]]; then
            fail "missing output file $relative"
        else
            compare "$expected" "$work/run/$relative" "file $relative"
        fi
    done < <(find "$case_dir/expected_files" -type f -print0)
fi
if [[ -f $case_dir/check.sh ]]; then
    if ! (cd "$work/run" && CASE_DIR=$case_dir WORK_DIR=$work PREFIX=$prefix bash "$case_dir/check.sh"); then
        fail "check.sh failed"
    fi
fi

if ((failed)); then
    echo "--- stdout" >&2
    head -c 4000 "$work/stdout" >&2
    echo "--- stderr" >&2
    head -c 4000 "$work/stderr" >&2
    exit 1
fi
exit 0
