# A reader that stops after two lines: the scan ends at once, says nothing,
# and ends as a command killed by SIGPIPE does.
set -e
yes en.txt | head -n 200000 > many.lst
set +e
"$PREFIX/bin/glotta-scan" --data-path "$CASE_DIR/../../profiles/data" -j 2 - <many.lst 2>err | head -n 2 >got
status=${PIPESTATUS[0]}
set -e
test "$status" = 141 || { echo "status $status"; exit 1; }
test ! -s err || { cat err; exit 1; }
test "$(wc -l <got)" = 2
