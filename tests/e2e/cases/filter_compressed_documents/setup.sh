# Compressed documents (text in every codec, `.lzma`, `.Z`, `.lz4` (legacy
# frames too) and `.lz` included, and
# in legacy charsets, markup, office documents and a PDF inside, a DOS EPS
# whose PostScript starts past the first 8 KiB in gzip and xz, streams that
# hold nothing: an empty text) and the ones that are refused (an archive, an
# image, a compressed stream inside, a stream cut in its header, a bomb),
# listed in a fixed order, with the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/compressed
mkdir docs
for f in en.txt.gz en.txt.bz2 en.txt.xz en.txt.zst de.txt.gz de.txt.bz2 de.txt.xz de.txt.zst \
    de-latin1.txt.xz ru-koi8r.txt.gz ru-cp1251.txt.gz fr-utf16le.txt.gz en-de.txt.gz cut.txt.gz \
    fr.html.gz ru-cp1251.html.gz de.xhtml.zst en.pdf.gz de.docx.xz fr.odt.zst en.doc.gz \
    es.rtf.bz2 en.txt.lzma de.txt.Z fr.odt.lzma en.pdf.Z de-preview-first.eps.gz \
    de-preview-first.eps.xz empty.gz empty.bz2 empty.xz empty.zst empty.lzma empty.Z \
    en.tar.gz blue.png.gz en.txt.gz.gz header-only.txt.gz bomb.pdf.gz \
    de.txt.lz4 fr.txt.lz4 fr.html.lz4 en.pdf.lz4 de.docx.lz4 de-legacy.txt.lz4 en-de.txt.lz4 \
    de.txt.lz fr.txt.lz fr.html.lz en.pdf.lz de.docx.lz en-de.txt.lz empty.lz4 empty.lz \
    cut.txt.lz4 damaged.txt.lz4 cut.txt.lz damaged.txt.lz bomb.pdf.lz4 bomb.pdf.lz; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
