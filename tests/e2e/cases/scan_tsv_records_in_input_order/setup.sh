# A FIFO, a broken link, a directory without -r and a name with a tab.
set -e
mkfifo docs/fifo
ln -s missing.txt docs/broken_link
cp docs/en.txt "docs/tab	name.txt"
