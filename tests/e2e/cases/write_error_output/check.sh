# Records on standard output: the failure shows when the run ends.
set -e
status=0
"$GLOTTA" -data_path data english.txt >/dev/full 2>stdout.err || status=$?
test "$status" = 74
test "$(cat stdout.err)" = "Couldn't write standard output: No space left on device"
