# OpenDocument files beyond the text, spreadsheet and presentation packages
# (as scripts/make_odf_fixtures.py writes them): drawings (a template whose
# `mimetype` entry is not the first among them), a master document
# template, flat files of every kind the filter reads (one of them
# gzip-compressed), a chart, a formula and an image (archives without text),
# and flat-looking XML that is XML; look-alikes of packages without a
# `mimetype` entry that stay archives (a chart, a manifest cut short, a
# manifest whose bytes are damaged, an OpenDocument file zipped by the macOS
# Finder) and such packages told by their manifest (a text document, a
# spreadsheet, a presentation); look-alikes of packages zipped as a folder
# (a chart, beside a second folder, a folder further down, beside a file)
# and such packages (a text document with its `mimetype` entry, a
# spreadsheet without it beside the Finder's entries), listed in a fixed
# order.
data=$CASE_DIR/../../../data/dxfilter/odf
mkdir docs
for f in en.odg de.otg es.otm fr.fodt ru.fods de.fodp en.fodg fr.fodt.gz chart.odc \
    formula.odf image.odi noprefix.xml otherkind.fodt manifest-chart.odc manifest-cut.odt \
    manifest-crc.odt fr.odt.zip fr-manifest.odt ru-manifest.ods de-manifest.odp folder-chart.zip \
    folder-two.zip folder-deeper.zip folder-beside.zip fr-folder.zip ru-folder-finder.zip; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
