# OpenDocument files beyond the text, spreadsheet and presentation packages
# (as scripts/make_odf_fixtures.py writes them): drawings (a template whose
# `mimetype` entry is not the first among them), a master document
# template, flat files of every kind the filter reads (one of them
# gzip-compressed), a chart, a formula and an image (archives without text),
# and flat-looking XML that is XML, listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/odf
mkdir docs
for f in en.odg de.otg es.otm fr.fodt ru.fods de.fodp en.fodg fr.fodt.gz chart.odc \
    formula.odf image.odi noprefix.xml otherkind.fodt; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
