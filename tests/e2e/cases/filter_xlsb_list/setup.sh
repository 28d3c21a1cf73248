# Excel binary workbooks (as scripts/make_xlsb_fixtures.js writes them with
# SheetJS): German cells in the shared string table over two sheets, French
# cells as strings of their own over three, Spanish cells of every string
# record (shared, own, a formula's result, with runs, the short records);
# the Spanish one with its second sheet cut inside a string, with a string
# that counts past its record, and with a record header no record has (the
# cells before the damage); the German one cut at two thirds (no archive),
# listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/xlsb
mkdir docs
for f in de.xlsb fr.xlsb es-mixed.xlsb bad/cut-part.xlsb bad/counts.xlsb bad/header.xlsb bad/cut.xlsb; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
