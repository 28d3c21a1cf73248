# Every line is JSON, and Python gets the original bytes of the name back.
set -e
python3 - "$WORK_DIR/stdout" <<'PY'
import json, os, sys
lines = open(sys.argv[1], 'rb').read().splitlines()
assert len(lines) == 5, lines
records = [json.loads(line) for line in lines]
assert os.fsencode(records[4]['path']) == b'caf\xe9.txt', records[4]
assert records[3]['error']['code'] == -19996
PY
# -0: NUL-separated names, the same records.
printf 'fr.txt\0bg.txt\0el.txt\0nope.txt\0caf\351.txt' |
    "$PREFIX/bin/glotta-scan" -0 --format jsonl -n 3 --distinct --codes bcp47 \
        --data-path "$CASE_DIR/../../profiles/data" >"$WORK_DIR/nul.out" || test $? = 1
cmp "$WORK_DIR/stdout" "$WORK_DIR/nul.out"
