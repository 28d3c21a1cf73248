# A directory, an empty document and one that its owner may not read. The list
# also names vanished.txt, which does not exist when the run reads it.
set -e
mkdir adir
: >empty.txt
chmod 000 unreadable_fr.txt
