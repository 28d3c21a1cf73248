# E-books: Mobipocket books uncompressed, PalmDoc LZ77 and HUFF/CDIC
# compressed, a KF8 book, a PalmDoc book, FictionBook documents in UTF-8 and
# windows-1251 with a large cover before or after the text, a zipped one;
# an encrypted, a damaged and a truncated book; a zip of two members and an
# XML document that only mentions FictionBook; the Finder's entries alone,
# and the zipped one as the macOS Finder zips it; look-alikes of EPUB
# folders zipped without their `mimetype` entry whose container is cut,
# damaged, names a PDF or no rootfile, and such folders told by their
# container; look-alikes of EPUBs zipped as a folder (beside a second
# folder, a folder further down, beside a file) and such EPUBs (with their
# `mimetype` entry, and without it beside the Finder's entries), in a fixed
# order, with the shared filter profiles and Bulgarian.
data=$CASE_DIR/../../../data/dxfilter/ebook
mkdir docs
for f in es-lz77.mobi de-none.prc fr-huff.azw ru-kf8.azw3 en-palmdoc.pdb ru-utf8.fb2 \
    ru-1251.fb2 bg.fb2.zip encrypted.mobi damaged.mobi truncated.mobi two.zip not-fb2.xml \
    finder-only.zip bg-finder.fb2.zip container-cut.epub container-crc.epub container-pdf.zip \
    container-norootfile.zip de-nomime.epub fr-nomime.epub folder-two.zip folder-deeper.zip \
    folder-beside.zip de-folder.zip fr-folder-finder.zip; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
