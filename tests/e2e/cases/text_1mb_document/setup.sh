# A French text of exactly 1 MiB (1048576 bytes), UTF-8.
set -e
paragraph=$(<fr_paragraph.txt)
: >big_fr.txt
while (( $(stat -c %s big_fr.txt) < 1048576 )); do
    for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16; do printf '%s\n' "$paragraph"; done >>big_fr.txt
done
truncate -s 1048576 big_fr.txt
