# Hangul word processor packages, HWPX (as scripts/make_hwpx_fixtures.py
# writes them): a Korean package of two sections with a table, a text box
# and a footnote, an English one whose second section uses the later
# edition's namespace, the Korean one gzipped and without its mimetype
# entry, one whose first section breaks off in bad markup (the text before,
# then the second section), one whose first section's deflate stream is
# damaged (the text before), one whose first section inflates past the
# member's bound (the text to it, then the second section), an encrypted
# and a cut package (refused), and a zip archive that only looks like one
# (341), listed in a fixed order (the exit status is the last document's).
# The Korean profile and the language lists are those of filter_hwp_list.
data=$CASE_DIR/../../../data/dxfilter/hwpx
cp "$CASE_DIR"/../filter_hwp_list/files/data/{ko-utf8.lm,langlist.cfg,langname.cfg} data/
mkdir docs
for f in ko.hwpx en.hwpx ko.hwpx.gz other/no-mimetype.hwpx bad/encrypted.hwpx bad/cut.hwpx \
    other/hpf-only.zip bad/xml.hwpx bad/deflate.hwpx bad/bomb.hwpx; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
