# A German manual page, gzipped troff that opens with English licence
# comments, read as German; the same page uncompressed goes through the
# engine's own text path, which reads the source as it is.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
cp "$data/compressed/de-page.1.gz" "$data/text/de-page.1" docs/
printf 'docs/de-page.1.gz\ndocs/de-page.1\n' >docs.lst
