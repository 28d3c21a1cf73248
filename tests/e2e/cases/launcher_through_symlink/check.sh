# The launcher through a symbolic link, with LD_LIBRARY_PATH unset, empty and
# set, and with a stand-in tool that shows what it receives.
set -eu
launcher=$GLOTTA_PREFIX/bin/glotta
fail() { echo "check: $*" >&2; exit 1; }

# A link elsewhere still finds the installation; without LD_LIBRARY_PATH the
# engine can only find its plug-ins because the launcher added them.
mkdir -p links
ln -sf "$launcher" links/glotta
out=$(env -u LD_LIBRARY_PATH links/glotta -data_path data empty.txt) || fail "link run failed: $?"
[[ $out == *"LANGUAGE: un"* ]] || fail "link run: $out"
out=$(LD_LIBRARY_PATH= links/glotta -data_path data empty.txt) || fail "empty path run failed"
[[ $out == *"LANGUAGE: un"* ]] || fail "empty path run: $out"

# The tool sees the name it was called by, and its exit status comes back.
status=0
out=$(links/glotta) || status=$?
((status == 225)) || fail "usage status $status"
[[ $out == *"Usage: links/glotta [-n"* ]] || fail "usage text: $out"

# A copy of the launcher in a root of its own, with a stand-in tool.
root=$PWD/root
mkdir -p root/bin root/_linux/bin
cp "$(readlink -f "$launcher")" root/bin/glotta
cat >root/_linux/bin/glotta <<'TOOL'
#!/bin/bash
printf 'path=%s\n' "${LD_LIBRARY_PATH-<unset>}"
printf 'arg=[%s]\n' "$@"
exit 42
TOOL
chmod +x root/_linux/bin/glotta
ln -sf "$root/bin/glotta" links/standin

run_standin() {
    status=0
    out=$("$@" links/standin -n 'two words' '' last) || status=$?
    ((status == 42)) || fail "stand-in status $status"
}
expected_args=$'arg=[-n]\narg=[two words]\narg=[]\narg=[last]'
run_standin env -u LD_LIBRARY_PATH
[[ $out == "path=$root/_linux/bin"$'\n'"$expected_args" ]] || fail "unset: $out"
run_standin env LD_LIBRARY_PATH=
[[ $out == "path=$root/_linux/bin"$'\n'"$expected_args" ]] || fail "empty: $out"
run_standin env 'LD_LIBRARY_PATH=/a:/b c'
[[ $out == "path=$root/_linux/bin:/a:/b c"$'\n'"$expected_args" ]] || fail "set: $out"

# Without a tool the launcher says so and exits with 127.
rm root/_linux/bin/glotta
status=0
err=$(links/standin 2>&1 >/dev/null) || status=$?
((status == 127)) || fail "missing tool status $status"
[[ $err == "glotta: cannot run $root/_linux/bin/glotta: No such file or directory" ]] || fail "missing tool: $err"
