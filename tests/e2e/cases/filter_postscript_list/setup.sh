# PostScript documents (as scripts/fixtures/postscript.py writes them) in
# seven languages, three EPS figures (two behind a DOS binary header, one of
# them with a preview of 9 KiB before its PostScript), one
# gzip-compressed, one without text, one whose second page fails, one cut
# short, one that loops for ever and one that tries to read /etc/passwd,
# listed in a fixed order. The case's profiles are English, German, Spanish
# and French only: the Italian, Portuguese and Dutch documents answer the
# nearest of them.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for doc in docs/en.ps docs/de.ps docs/fr.ps docs/es.ps docs/it.ps docs/pt.eps \
    docs/nl-preview.eps docs/empty.ps bad/error.ps bad/truncated.ps bad/loop.ps bad/passwd.ps \
    compressed/de.ps.gz docs/de-preview-first.eps; do
    cp "$data/$doc" docs/
    echo "docs/${doc#*/}" >>docs.lst
done
