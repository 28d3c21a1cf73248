# Safari web archives (as scripts/make_webarchive_fixtures.py writes them):
# English in UTF-8 as a binary and an XML property list, Russian in
# windows-1251 named by the archive (its page's meta element says UTF-8) and
# by the page alone, Japanese in Shift_JIS, a German page with French,
# Spanish and Italian frames (the frames' text counts: of the two languages
# the profiles know, Italian outweighs the German page), an image without
# text (an empty document), a cyclic and a cut list (refused), a binary
# property list that is no archive (binary data), the English archive
# gzip-compressed and Italian plain text last, listed in a fixed order (the
# exit status is the last document's).
data=$CASE_DIR/../../../data/dxfilter/webarchive
mkdir docs
for f in en.webarchive en.xml.webarchive ru.webarchive ru-meta.xml.webarchive ja.webarchive \
    frames.webarchive image.webarchive bad/cyclic.webarchive bad/cut.webarchive \
    other/settings.plist en.webarchive.gz plain.webarchive; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
