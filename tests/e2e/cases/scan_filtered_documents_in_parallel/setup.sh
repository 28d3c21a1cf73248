# Office, PDF and PostScript documents, each read through the document
# filter, with plain text between them; stdin lists them three times over.
set -e
data=$CASE_DIR/../../../data/dxfilter/docs
mkdir docs
for name in de.pdf en.docx fr.odt en.doc de.xlsx fr.pptx en.ps de.rtf fr.epub en.xls \
            de.odp fr.pdf en.pptx de.doc fr.ps en.odt; do
    cp "$data/$name" docs/
done
printf 'The quick brown fox jumps over the lazy dog and runs far away.\n' >docs/en.txt
