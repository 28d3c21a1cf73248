# Right-to-left PDFs of the filter fixtures: Arabic, Persian and Urdu tell
# themselves apart only when every line comes out whole and in reading order.
docs=$CASE_DIR/../../../data/dxfilter/docs
mkdir docs
for doc in ar ar-rtl fa ur he; do
    cp "$docs/$doc.pdf" docs/
    echo "docs/$doc.pdf" >>docs.lst
done
