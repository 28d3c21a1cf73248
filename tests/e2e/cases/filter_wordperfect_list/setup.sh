# WordPerfect 5.1 documents in five languages (as scripts/fixtures/
# wordperfect.py writes them), one with a header and a footnote, one
# gzip-compressed, a password-protected one, one of an unknown version and
# an empty one, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for doc in docs/en docs/de docs/es docs/fr docs/fr-notes docs/ru bad/encrypted bad/version docs/empty; do
    cp "$data/$doc.wpd" docs/
    echo "docs/${doc#*/}.wpd" >>docs.lst
done
cp "$data/compressed/ru.wpd.gz" docs/
echo docs/ru.wpd.gz >>docs.lst
