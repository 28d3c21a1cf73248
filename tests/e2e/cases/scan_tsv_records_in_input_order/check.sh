# --progress draws on a terminal (here a pseudo-terminal) only.
set -e
script -qefc "$PREFIX/bin/glotta-scan --progress --data-path $CASE_DIR/../../profiles/data docs/en.txt docs/fr_utf8.txt >/dev/null" /dev/null >tty.out
grep -q '2/2 docs' tty.out || { cat -A tty.out; exit 1; }
