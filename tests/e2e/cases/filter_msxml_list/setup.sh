# Office's single-file XML documents (as scripts/make_msxml_fixtures.py
# writes them): a Word 2003 XML letter with a picture, properties, a field
# code, a footnote, a text box, a deletion and a comment; a Word 2003
# document in UTF-16; flat packages of a word processing document, a
# presentation whose slides are stored out of order and a workbook; an Excel
# 2003 XML workbook saved as `.xls` and Apache POI's SpreadsheetML sample;
# and XML that only looks like them (an XHTML page and an SVG drawing that
# mention the namespaces, a root of the right name in no namespace), listed
# in a fixed order.
data=$CASE_DIR/../../../data/dxfilter/msxml
mkdir docs
for f in de-letter.xml ru-utf16.xml fr-flat.xml es-flat-pptx.xml en-flat-xlsx.xml de-sheet.xls \
    SampleSS.xml xhtml-mentions.xml svg-mentions.svg nons-word.xml; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
