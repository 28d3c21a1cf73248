# With both streams in one log, every message stands where it happened:
# between whole records and progress lines, never inside one.
status=0
"$PREFIX/bin/glotta" -data_path data @l/list.lst > combined 2>&1 || status=$?
test "$status" = 228
diff -u "$CASE_DIR/expected_combined" combined >&2
