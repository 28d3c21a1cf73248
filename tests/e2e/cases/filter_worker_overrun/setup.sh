# PDF and office documents around one PDF whose page alone takes the reader
# far longer than a document may take: that document fails with -19985 at
# the time limit, the worker is started again and the rest read as usual.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for f in docs/en.pdf bad/pile-up.pdf docs/fr.docx docs/de.pdf docs/es.doc; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
