# A French text of exactly 1 MiB (1048576 bytes), UTF-8.
set -e
cp fr_paragraph.txt big_fr.txt
while (( $(stat -c %s big_fr.txt) < 1048576 )); do
    cat big_fr.txt big_fr.txt >doubled && mv doubled big_fr.txt
done
truncate -s 1048576 big_fr.txt
