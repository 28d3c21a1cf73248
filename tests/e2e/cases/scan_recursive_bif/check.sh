# The same BIF files as glotta -bif writes for the same documents in the same order.
set -e
find tree -type f | LC_ALL=C sort > list.lst
"$PREFIX/bin/glotta" -bif out/glotta -data_path "$CASE_DIR/../../profiles/data" @list.lst >/dev/null 2>&1 || true
for f in out/glotta.*; do
    cmp "$f" "out/res.${f#out/glotta.}"
done
test "$(ls out/glotta.* | wc -l)" = "$(ls out/res.* | wc -l)"
