# The filter fixtures of every format in six languages, listed in a fixed order.
docs=$CASE_DIR/../../../data/dxfilter/docs
mkdir docs
for lang in en de es fr ru zh; do
    for ext in pdf docx xlsx pptx odt ods odp epub rtf; do
        cp "$docs/$lang.$ext" docs/
        echo "docs/$lang.$ext" >>docs.lst
    done
done
