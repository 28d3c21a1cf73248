# A Word 97-2003 document in Russian, as LibreOffice writes it, with the
# profiles of the six-language filter case.
cp -r "$CASE_DIR/../filter_formats_six_languages/files/data" .
mkdir docs
cp "$CASE_DIR/../../../data/dxfilter/docs/ru.doc" docs/
