# MacWrite documents (as scripts/make_macwrite_fixtures.py writes them):
# English, French (its text packed as MacWrite 5 saved it), German and
# Spanish ones in MacWrite 5's layout; one cut (its free list lost: libmwaw
# refuses it, -19985), one whose paragraphs claim 64 KiB of text each (read,
# no text: un) and one whose version word is not MacWrite's (346, -19985,
# as before), listed in a fixed order (the exit status is the last
# document's).
data=$CASE_DIR/../../../data/dxfilter/macwrite
mkdir docs
for f in en.mcw fr.mcw de.mcw es.mcw bad/cut.mcw bad/huge.mcw other/version.bin; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
