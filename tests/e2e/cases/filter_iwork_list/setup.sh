# Apple iWork '09 documents (as scripts/make_iwork_fixtures.py writes them):
# a Pages document, two Keynote presentations (one whose main part is
# gzipped) and a Numbers document in four languages, a Pages document
# without text, a package whose main part is damaged, one whose main part
# is not XML, one of a later iWork's layout whose parts hold no objects
# (all three refused), one cut in half and a lone `index.xml` (archives),
# and one gzip-compressed, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/iwork
mkdir docs
for f in en.pages de.key fr.key ru.numbers notext.pages damaged.key broken.pages iwa.pages \
    truncated.pages index-only.zip en.pages.gz; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
