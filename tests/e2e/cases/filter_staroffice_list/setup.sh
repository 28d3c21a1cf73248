# OpenOffice.org 1.x documents (as scripts/make_staroffice_fixtures.py
# writes them), read as the OpenDocument kinds that succeeded them: a text
# document, a text template with prefixes of its own, a spreadsheet, a
# presentation with speaker notes, a drawing; a text document without a
# `mimetype` entry told by its manifest, one zipped as its folder; a
# formula (an archive without text); packages cut, with damaged bytes,
# with a size past any bound in their directory, with deeply nested spans
# and with a paragraph longer than the bound of one member; listed in a
# fixed order, three candidates each.
data=$CASE_DIR/../../../data/dxfilter/staroffice
mkdir docs
for f in de.sxw fr.stw es.sxc ru.sxi en.sxd fr-manifest.sxw de-folder.zip formula.sxm \
    bad/de-cut.sxw bad/de-crc.sxw bad/huge.sxw bad/nested.sxw bad/spaces.sxw; do
    cp "$data/$f" "docs/${f//\//-}"
    echo "docs/${f//\//-}" >>docs.lst
done
