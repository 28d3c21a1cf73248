# Compiled HTML Help files (as scripts/make_chm_fixtures.py writes them):
# English, German (its locale's code page), Russian declared by meta and by
# the locale alone, Japanese, topics whose table of contents changes their
# order, a file without topic text, one cut after its first topic's frames
# (its text ends there), one whose later topic claims 1 TiB, a damaged one
# and one gzip-compressed, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/chm
mkdir docs
for f in en.chm de.chm ru-meta.chm ru-lcid.chm ja.chm order.chm notext.chm truncated.chm \
    huge.chm damaged.chm en.chm.gz; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
