# DjVu documents (as scripts/make_djvu_fixtures.py writes them): single pages
# with a hidden text layer in four languages, a bundled book of three pages
# (Spanish, no text, German), a page without text, an indirect document, a
# damaged one, one cut inside its second page (its text fails after the
# first page) and one gzip-compressed, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/djvu
mkdir docs
for f in en.djvu de.djvu fr.djvu ru.djvu book.djvu notext.djvu indirect.djvu damaged.djvu \
    truncated.djvu de.djvu.gz; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
