# Hangul word processor documents (as scripts/make_hwp_fixtures.py writes
# them): a compressed Korean document of two sections with a table and a
# footnote, an uncompressed English one, the Korean one gzipped, one whose
# first section's deflate stream is cut (the text before the cut), one whose
# first section ends in a record longer than the section (the text before
# it), a password-protected and a distribution document (refused), listed
# in a fixed order (the exit status is the last document's). The Korean
# profile is trained by the tool from tests/e2e/profiles/samples/ko.txt
# (`glotta -train -data_path data -language_id ko -language_name Korean
# -charset utf8 ko.txt`).
data=$CASE_DIR/../../../data/dxfilter/hwp
mkdir docs
for f in ko.hwp en.hwp ko.hwp.gz bad/password.hwp bad/distribution.hwp bad/deflate.hwp \
    bad/record.hwp; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
