# Microsoft Visio drawings (as scripts/make_visio_fixtures.py writes them):
# a German package of two pages as a drawing and as a template, a French
# XML drawing of two pages with a master; a package whose first page is
# damaged (the second page's text), one cut in half (a zip archive), a
# compound file whose VisioDocument stream holds a header alone (no text)
# and an XML drawing in another namespace (read as XML, as before), listed
# in a fixed order (the exit status is the last document's).
data=$CASE_DIR/../../../data/dxfilter/visio
mkdir docs
for f in de.vsdx de.vstx fr.vdx bad/damaged.vsdx bad/cut.vsdx bad/header.vsd other/namespace.vdx; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
