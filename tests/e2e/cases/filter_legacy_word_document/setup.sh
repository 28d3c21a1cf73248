# A Word 97-2003 document in Russian, as the fixture writer makes it, with the
# shared filter profiles.
mkdir docs
cp "$CASE_DIR/../../../data/dxfilter/docs/ru.doc" docs/
