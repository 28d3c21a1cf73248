# SIGTERM or SIGINT during a bulk run: the run finishes the record in hand,
# processes no further line, closes its files and exits with 128 + the
# signal. Every record in the output and BIF files is whole.
set -e
trap '' PIPE
set -m  # background runs get SIGINT as it is, not ignored
locked() { [[ -e $1 ]] && grep -q ":$(stat -c %i "$1") " /proc/locks; }

for signal in TERM INT; do
    rm -f list.fifo out.txt b.en
    mkfifo list.fifo
    "$GLOTTA" -data_path data -bif b @list.fifo out.txt >run.out 2>run.err &
    pid=$!
    exec 3>list.fifo
    for _ in $(seq 1 50); do echo english.txt; done >&3
    # The BIF file is open (and locked) once the first record is written.
    for _ in $(seq 1 200); do locked b.en && break; sleep 0.05; done
    kill -s "$signal" "$pid"
    echo last.txt >&3 2>/dev/null || true
    exec 3>&-
    status=0
    wait "$pid" || status=$?
    test "$status" = "$((128 + $(kill -l "$signal")))"
    test "$(cat run.out)" = $'glotta - Tolmar, Inc. Version 5.5.0 (Feb  7 2004)\nglotta done'
    test ! -s run.err
    records=$(grep -c '^DOC_NAME:english.txt$' out.txt)
    test "$records" -ge 1
    test "$(grep -c '^<<EOD>>$' out.txt)" = "$records"
    test "$(wc -l <out.txt)" = "$((5 * records))"
    test "$(grep -c '^ZulZgwKey: english.txt$' b.en)" = "$records"
    test "$(wc -l <b.en)" = "$((4 * records))"
    if grep -q last.txt out.txt b.en; then exit 1; fi
done
