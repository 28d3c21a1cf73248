# Apple iWork documents (as scripts/make_iwork_fixtures.py writes them).
# iWork '09: a Pages document, two Keynote presentations (one whose main
# part is gzipped) and a Numbers document in four languages, a Pages
# document without text, a package whose main part is damaged, one whose
# main part is not XML, one of a later iWork's layout whose parts hold no
# objects (all three refused), one cut in half and a lone `index.xml`
# (archives), and one gzip-compressed. iWork 2013 and later: a Pages
# document in Spanish (and the same with its parts inside `Index.zip`), a
# Keynote presentation in Italian and a Numbers document in Polish; one
# whose first slide's part is cut (the second slide's text is read), and
# three damaged without any text (a Snappy copy before its block's start, a
# varint of eleven bytes, a message of 4 GiB: refused). Packages kept as
# folders and zipped: the Spanish Pages document (its parts in the folder,
# and inside `Index.zip`) and the German Keynote '09 presentation; an
# archive of two packages and one whose folder only looks like a package
# (archives, refused). Listed in a fixed
# order, a document that is read last (the exit status is the last
# document's).
data=$CASE_DIR/../../../data/dxfilter/iwork
mkdir docs
for f in en.pages de.key fr.key ru.numbers notext.pages damaged.key broken.pages iwa.pages \
    truncated.pages index-only.zip en.pages.gz badcopy.pages badvarint.numbers huge.pages \
    two-packages.zip lookalike.zip es-folder.pages.zip es-2013-folder.pages.zip \
    de-folder.key.zip cut.key es.pages es-2013.pages it.key pl.numbers; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
