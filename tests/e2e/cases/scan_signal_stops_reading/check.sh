# SIGTERM while the scan waits for the next path on standard input: the
# documents named so far are reported, and the run ends at once with 143.
# (A background job of a script has SIGINT ignored, which the scan keeps.)
set -e
mkfifo paths
"$PREFIX/bin/glotta-scan" --data-path "$CASE_DIR/../../profiles/data" -j 2 - <paths >out 2>err &
scan=$!
exec 3>paths
printf 'en.txt\nen.txt\n' >&3
for _ in $(seq 100); do
    [[ $(wc -l <out) == 2 ]] && break
    sleep 0.1
done
kill -TERM "$scan"
for _ in $(seq 200); do
    kill -0 "$scan" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$scan" 2>/dev/null; then
    kill -KILL "$scan"
    echo "the scan did not end"
    exit 1
fi
status=0
wait "$scan" || status=$?
exec 3>&-
test "$status" = 143 || { echo "status $status"; cat err; exit 1; }
test "$(cut -f1,2 out)" = "$(printf 'en.txt\ten\nen.txt\ten')"
test ! -s err
