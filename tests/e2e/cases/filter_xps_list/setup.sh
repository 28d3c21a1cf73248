# XPS and OpenXPS documents (as scripts/make_xps_fixtures.py writes them):
# packages in seven languages (OpenXPS among them; pages out of the
# archive's order; escaped braces; an interleaved one; two documents in one
# sequence), pages without glyph text (one drawn by Ghostscript), a package
# whose first page is damaged (refused), one whose second page is (the
# first page's text), one cut in half (an archive) and one gzip-compressed,
# listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/xps
mkdir docs
for f in en.xps de.oxps ru.xps el.xps ja.oxps fr.xps es.xps two-docs.xps notext.xps \
    notext-gs.xps damaged.xps damaged-page2.xps truncated.xps de.oxps.gz; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
