# A run that opens the output or BIF file another live run is writing is
# refused and leaves the file alone; the first run's files come out whole.
set -e
trap '' PIPE
# True when some process holds a lock on the file (read-only probe).
locked() { [[ -e $1 ]] && grep -q ":$(stat -c %i "$1") " /proc/locks; }
wait_locked() {
    for _ in $(seq 1 200); do locked "$1" && return 0; sleep 0.05; done
    echo "$1 never locked" >&2
    return 1
}

# The first run reads its list from a FIFO, so it stays alive, files open,
# until the list is closed.
mkfifo list.fifo
"$GLOTTA" -data_path data -bif b @list.fifo out.txt >first.out 2>first.err &
first=$!
exec 3>list.fifo
echo english.txt >&3
wait_locked out.txt
wait_locked b.en

status=0
"$GLOTTA" -data_path data english.txt out.txt >second.out 2>second.err || status=$?
test "$status" = 0
test "$(cat second.err)" = "Couldn't create output file out.txt"

status=0
"$GLOTTA" -data_path data -bif b english.txt third.txt >third.out 2>third.err || status=$?
test "$status" = 0
test "$(cat third.err)" = "Couldn't create bif file b.en"
grep -qx 'DOC_NAME:english.txt' third.txt

echo english.txt >&3
exec 3>&-
status=0
wait "$first" || status=$?
test "$status" = 0
test ! -s first.err
record=$'DOC_NAME:english.txt\nLANGUAGE: English\nCHARSET: 1252\nSCORE: 0.03\n<<EOD>>'
test "$(cat out.txt)" = "$record"$'\n'"$record"
bif=$'ZulZgwKey: english.txt\nZLang: en\nCharset: 1252\n<<EOD>>'
test "$(cat b.en)" = "$bif"$'\n'"$bif"
