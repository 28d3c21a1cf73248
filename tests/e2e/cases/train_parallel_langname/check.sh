# Trainings into one data directory at the same time: every one of them adds
# its entry to langname.cfg, each on a line of its own. (The unit test
# ToolNameMap.ConcurrentAppendsLoseNothing hammers the append far harder; 20
# whole runs keep this case cheap in the sanitizer build.)
set -e
pids=()
for i in $(seq 0 19); do
    "$GLOTTA" -train -language_id "x$i" -language_name "X$i" -charset 1252 -data_path data \
        english.txt >"out.$i" 2>&1 &
    pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done
{
    printf '# identifier and display name\nen English\n\nx100 X100\n'
    for i in $(seq 0 19); do printf '\nx%d X%d\n' "$i" "$i"; done
} | sort >expected.cfg
sort data/langname.cfg | cmp - expected.cfg
test "$(ls data/x*-1252.lm | wc -l)" = 21
