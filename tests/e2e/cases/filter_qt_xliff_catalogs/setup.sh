# Qt and XLIFF message catalogs: Linguist .ts catalogs (German, Russian,
# Japanese in UTF-16, a template without translations), binary .qm catalogs
# (one cut in its messages, one cut before any: refused), a gzipped .ts,
# XLIFF 1.2 and 2.0 documents and a template without targets, and two XML
# look-alikes that stay XML, in a fixed order, with German, English,
# Russian and Japanese profiles.
data=$CASE_DIR/../../../data/dxfilter/catalog
mkdir docs
for f in de.ts ru.ts ja-utf16.ts template.ts de.qm ru.qm ja.qm truncated.qm damaged.qm \
    de.ts.gz ru.xlf ja.xlf de.xliff template.xlf strings.xml project.xml; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
