#!/bin/bash
# The launcher bin/glotta on its own, with a stand-in tool that shows what it
# receives: how it finds its installation (directly, relative to the working
# directory, through chains of relative and absolute symbolic links), what it
# passes on, and what it says when the tool cannot run.
#   launcher_test.sh LAUNCHER WORK_DIR [--no-proc]
# --no-proc: the launcher was built to find itself from argv[0] alone, as it
# does where /proc is not mounted.
set -eu
launcher=$1
work=$2
no_proc=${3:-}
fail() {
    echo "launcher_test: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cd "$work"
work=$(pwd -P)
root=$work/root
mkdir -p root/bin root/_linux/bin links/sub
cp "$launcher" root/bin/glotta
tool=$root/_linux/bin/glotta
cat >stand-in <<'TOOL'
#!/bin/bash
printf 'path=%s\n' "${LD_LIBRARY_PATH-<unset>}"
for arg in "$@"; do printf 'arg=[%s]\n' "$arg"; done
exit 42
TOOL
chmod +x stand-in
cp stand-in "$tool"

# run COMMAND...: the stand-in's output in $out, its status checked.
run() {
    status=0
    out=$("$@") || status=$?
    ((status == 42)) || fail "$*: status $status"
}
expect() { # WHAT EXPECTED
    [[ $out == "$2" ]] || fail "$1: got [$out], expected [$2]"
}

# What is passed on, whatever the library path holds.
args=(-n 'two words' '' last)
expected_args=$'arg=[-n]\narg=[two words]\narg=[]\narg=[last]'
run env -u LD_LIBRARY_PATH root/bin/glotta "${args[@]}"
expect unset "path=$root/_linux/bin"$'\n'"$expected_args"
run env LD_LIBRARY_PATH= root/bin/glotta "${args[@]}"
expect empty "path=$root/_linux/bin"$'\n'"$expected_args"
run env 'LD_LIBRARY_PATH=/a:/b c:' root/bin/glotta "${args[@]}"
expect set "path=$root/_linux/bin:/a:/b c:"$'\n'"$expected_args"
run env -i "$root/bin/glotta"
expect "empty environment" "path=$root/_linux/bin"

# The ways of reaching it: each must find the same installation.
ln -s ../root links/root
ln -s root/bin/glotta links/relative
ln -s "$root/bin/glotta" links/sub/absolute
ln -s ../relative links/sub/chain
ln -s sub/chain links/chain2
for call in root/bin/glotta ./root//bin/./glotta root/_linux/../bin/glotta \
    links/relative links/sub/absolute links/sub/chain links/chain2 links/root/bin/glotta \
    "$work/links/chain2"; do
    run "$call"
    expect "$call" "path=$root/_linux/bin"
done
(cd root/bin && run ./glotta && expect ./glotta "path=$root/_linux/bin")
(cd links/sub && run ../../links/sub/chain && expect "chain from sub" "path=$root/_linux/bin")

# Found through PATH, argv[0] holds no slash: only the kernel can tell.
status=0
err=$(PATH=$root/bin:$PATH glotta 2>&1 >/dev/null) || status=$?
if [[ $no_proc ]]; then
    ((status == 127)) || fail "no location: status $status"
    [[ $err == "glotta: cannot find its own location: No such file or directory" ]] ||
        fail "no location: $err"
else
    ((status == 42)) || fail "through PATH: status $status ($err)"
fi

# A tool that cannot run: the reason, and 127.
cannot_run() { # WHAT REASON [ENV...]
    status=0
    err=$(env "${@:3}" links/chain2 2>&1 >/dev/null) || status=$?
    ((status == 127)) || fail "$1: status $status"
    [[ $err == "glotta: cannot run $tool: $2" ]] || fail "$1: $err"
}
rm "$tool"
cannot_run missing "No such file or directory"
mkdir "$tool"
cannot_run directory "Permission denied"
rmdir "$tool"
printf 'not a program\n' >"$tool"
chmod 755 "$tool"
cannot_run "not a program" "Exec format error"
cp stand-in "$tool"
chmod 644 "$tool" # without any execute bit even root is refused
cannot_run "not executable" "Permission denied"
chmod 755 "$tool"
# One environment string may hold at most 32 pages; the added directory
# pushes this one over.
long=$(head -c $((32 * 4096 - 20)) /dev/zero | tr '\0' x)
cannot_run "library path too long" "Argument list too long" "LD_LIBRARY_PATH=$long"
echo "launcher_test: all passed"
