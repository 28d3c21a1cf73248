# Lotus 1-2-3, Works and Quattro Pro sheets (as scripts/make_works_fixtures.py
# writes them) in German, French and Spanish, one without cells, one cut
# after its first row; a password-protected worksheet, a Lotus 1-2-3
# release 3 header over nothing and a Works compound file whose document
# stream is empty (all three refused); a worksheet with a version no program
# writes (no sheet); the German one gzip-compressed; a Works 4 word
# processor document in German, a Works 8 one in French, the German one cut
# inside its text (read text fails) and after it (its text without its
# formatting), listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/works
mkdir docs
for f in de.wk1 fr.wks es.wq1 empty.wk1 bad/cut.wk1 bad/password.wk1 bad/release3.wk3 bad/mn0.wps \
    other/version.wk1 de.wk1.gz de.wps fr.wps bad/cut.wps bad/bare.wps; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
