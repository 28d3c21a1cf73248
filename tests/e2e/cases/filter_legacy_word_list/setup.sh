# Word 97-2003 documents in six languages, one with fields and a footnote, an
# encrypted one and a truncated one, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for doc in docs/en docs/de docs/es docs/fr docs/fr-fields docs/ru docs/zh bad/encrypted bad/truncated; do
    cp "$data/$doc.doc" docs/
    echo "docs/${doc#*/}.doc" >>docs.lst
done
