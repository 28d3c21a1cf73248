# Every thread detects on an engine context of its own, each with its own
# filter worker: several threads extracting documents at once must answer
# exactly what one thread does, line for line and in the same order.
set -e
scan() {
    "$PREFIX/bin/glotta-scan" -j "$1" --data-path "$CASE_DIR/../../profiles/data" - \
        <"$WORK_DIR/stdin" >"j$1.out" 2>"j$1.err"
}
scan 1
[[ $(wc -l <j1.out) == 60 ]] || { echo "-j 1 wrote $(wc -l <j1.out) lines, not 60"; exit 1; }
# A document the filter could not read would make the comparison idle.
if grep -P '\terror\t' j1.out; then echo "-j 1 failed documents"; exit 1; fi
for n in 2 8; do
    scan "$n"
    cmp j1.out "j$n.out" || { diff j1.out "j$n.out" | head; exit 1; }
    [[ ! -s j$n.err ]] || { cat "j$n.err"; exit 1; }
done
cmp j1.out "$WORK_DIR/stdout" || { diff j1.out "$WORK_DIR/stdout" | head; exit 1; }
