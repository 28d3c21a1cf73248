#!/bin/bash
# Makes the compressed samples of tests/data/dxfilter/compressed/ from the
# text, markup and office samples beside them (make_filter_fixtures.sh makes
# those first, then calls this) and prints their rows of formats.tsv. Every
# tool is told to write the same bytes each time (no names, no times).
#   scripts/make_compressed_fixtures.sh >> tests/data/dxfilter/formats.tsv
set -eu
cd "$(dirname "$0")/.."
OUT="$PWD/tests/data/dxfilter"
C="$OUT/compressed"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
rm -rf "$C"
mkdir -p "$C"
row() { printf '%s\t%s\t%s\n' "$1" "$2" "$3"; }
gz() { gzip -9 -n -c "$1" > "$2"; }
bz() { bzip2 -9 -c "$1" > "$2"; }
xzc() { xz -9 -c "$1" > "$2"; }
zst() { zstd -19 -q -c --no-check "$1" > "$2"; }
lz() { xz --format=lzma -9 -c "$1" > "$2"; }
# LZ4 frames with a content checksum (lz4's default) and lzip members.
l4() { lz4 -9 -q -c "$1" > "$2"; }
lzi() { lzip -9 -q -c "$1" > "$2"; }
# Unix compress (ncompress), block mode, codes of up to ${3:-16} bits; -f
# writes the output even when it is no smaller.
Z() { compress -c -f -b "${3:-16}" < "$1" > "$2"; }

# Text in every codec: English in ASCII, German in UTF-8.
iconv -f ISO-8859-1 -t UTF-8 "$OUT/text/de-latin1.txt" > "$WORK/de.txt"
for codec in gz:gz bz2:bz xz:xzc zst:zst lzma:lz Z:Z lz4:l4 lz:lzi; do
    ext=${codec%%:*} tool=${codec#*:}
    $tool "$OUT/text/en-ascii.txt" "$C/en.txt.$ext"; row "compressed/en.txt.$ext" 347 neighbours
    $tool "$WORK/de.txt" "$C/de.txt.$ext"; row "compressed/de.txt.$ext" 347 Flussufer
done
# Empty documents: a stream that holds nothing reads as an empty text.
: > "$WORK/empty"
for codec in gz:gz bz2:bz xz:xzc zst:zst lzma:lz Z:Z lz4:l4 lz:lzi; do
    ext=${codec%%:*} tool=${codec#*:}
    $tool "$WORK/empty" "$C/empty.$ext"; row "compressed/empty.$ext" 347 -
done
# Legacy charsets (the detector decides), UTF-16 without and with a mark.
xzc "$OUT/text/de-latin1.txt" "$C/de-latin1.txt.xz"; row compressed/de-latin1.txt.xz 347 Flussufer
gz "$OUT/text/ru-koi8r.txt" "$C/ru-koi8r.txt.gz"; row compressed/ru-koi8r.txt.gz 347 пекарь
gz "$OUT/text/ru-cp1251.txt" "$C/ru-cp1251.txt.gz"; row compressed/ru-cp1251.txt.gz 347 пекарь
gz "$OUT/text/fr-utf16le-nobom.txt" "$C/fr-utf16le.txt.gz"; row compressed/fr-utf16le.txt.gz 347 boulanger
bz "$OUT/text/zh-utf16-bom.txt" "$C/zh-utf16.txt.bz2"; row compressed/zh-utf16.txt.bz2 347 面包师
# Two gzip members in one file read as one text.
{ gzip -9 -n -c "$OUT/text/en-ascii.txt"; gzip -9 -n -c "$WORK/de.txt"; } > "$C/en-de.txt.gz"
row compressed/en-de.txt.gz 347 Flussufer
# A longer text in .Z with codes of up to 10, 12 and 16 bits: the code width
# grows, and with 10 and 12 bits the table fills and is cleared (ncompress
# cannot read its own streams of 9 bits, so there are none). The text:
# 8 times three samples, then the numbers 1 to 2000, a line each.
for i in $(seq 1 8); do cat "$OUT/text/en-ascii.txt" "$OUT/text/mixed-utf8.txt" "$OUT/text/de-page.1"; done > "$WORK/long.txt"
seq 1 2000 >> "$WORK/long.txt"
for bits in 10 12 16; do
    Z "$WORK/long.txt" "$C/long-$bits.txt.Z" "$bits"; row "compressed/long-$bits.txt.Z" 347 neighbours
done
# Markup: tags, scripts and styles dropped; a declared charset.
gz "$OUT/text/fr.html" "$C/fr.html.gz"; row compressed/fr.html.gz 347 boulanger
gz "$OUT/text/ru-cp1251.html" "$C/ru-cp1251.html.gz"; row compressed/ru-cp1251.html.gz 347 пекарь
zst "$OUT/text/de.xhtml" "$C/de.xhtml.zst"; row compressed/de.xhtml.zst 347 Flussufer
# A German manual page: troff whose head is English licence comments.
gz "$OUT/text/de-page.1" "$C/de-page.1.gz"; row compressed/de-page.1.gz 347 Flussufer
Z "$OUT/text/de-page.1" "$C/de-page.1.Z"; row compressed/de-page.1.Z 347 Flussufer
# Documents another reader takes over.
gz "$OUT/docs/en.pdf" "$C/en.pdf.gz"; row compressed/en.pdf.gz 347 neighbours
xzc "$OUT/docs/de.docx" "$C/de.docx.xz"; row compressed/de.docx.xz 347 Flussufer
zst "$OUT/docs/fr.odt" "$C/fr.odt.zst"; row compressed/fr.odt.zst 347 boulanger
gz "$OUT/docs/en.doc" "$C/en.doc.gz"; row compressed/en.doc.gz 347 neighbours
bz "$OUT/docs/es.rtf" "$C/es.rtf.bz2"; row compressed/es.rtf.bz2 347 panadero
gz "$OUT/docs/ru.wpd" "$C/ru.wpd.gz"; row compressed/ru.wpd.gz 347 пекарь
gz "$OUT/docs/de.ps" "$C/de.ps.gz"; row compressed/de.ps.gz 347 Leuchtturms
# A DOS EPS whose PostScript starts after the first 8 KiB: read there.
gz "$OUT/docs/de-preview-first.eps" "$C/de-preview-first.eps.gz"
row compressed/de-preview-first.eps.gz 347 Leuchtturms
xzc "$OUT/docs/de-preview-first.eps" "$C/de-preview-first.eps.xz"
row compressed/de-preview-first.eps.xz 347 Leuchtturms
lz "$OUT/docs/fr.odt" "$C/fr.odt.lzma"; row compressed/fr.odt.lzma 347 boulanger
Z "$OUT/docs/en.pdf" "$C/en.pdf.Z"; row compressed/en.pdf.Z 347 neighbours
# Refused: an archive, an image and a second compressed stream inside.
tar --mtime=@0 --owner=0 --group=0 --numeric-owner --format=ustar -C "$OUT/text" \
    -cf "$WORK/en.tar" en-ascii.txt
gz "$WORK/en.tar" "$C/en.tar.gz"; row compressed/en.tar.gz 347 -
gz "$OUT/binary/blue.png" "$C/blue.png.gz"; row compressed/blue.png.gz 347 -
gz "$C/en.txt.gz" "$C/en.txt.gz.gz"; row compressed/en.txt.gz.gz 347 -
# Damaged: a text cut short gives what came before the cut; a stream cut
# inside its header gives nothing.
gz "$OUT/text/mixed-utf8.txt" "$WORK/mixed.gz"
head -c $(($(wc -c < "$WORK/mixed.gz") * 2 / 3)) "$WORK/mixed.gz" > "$C/cut.txt.gz"
row compressed/cut.txt.gz 347 neighbours
head -c 8 "$C/en.txt.gz" > "$C/header-only.txt.gz"; row compressed/header-only.txt.gz 347 -
# LZ4 and lzip: French text, an HTML page and two documents another reader
# takes over, in each.
iconv -f ISO-8859-1 -t UTF-8 "$OUT/text/fr-latin1-pairs.txt" > "$WORK/fr.txt"
for codec in lz4:l4 lz:lzi; do
    ext=${codec%%:*} tool=${codec#*:}
    $tool "$WORK/fr.txt" "$C/fr.txt.$ext"; row "compressed/fr.txt.$ext" 347 député
    $tool "$OUT/text/fr.html" "$C/fr.html.$ext"; row "compressed/fr.html.$ext" 347 boulanger
    $tool "$OUT/docs/en.pdf" "$C/en.pdf.$ext"; row "compressed/en.pdf.$ext" 347 neighbours
    $tool "$OUT/docs/de.docx" "$C/de.docx.$ext"; row "compressed/de.docx.$ext" 347 Flussufer
done
# lz4's legacy frames (-l), then a frame and a skippable frame between the
# two texts of a concatenated file; two lzip members.
lz4 -l -9 -q -c "$WORK/de.txt" > "$C/de-legacy.txt.lz4"; row compressed/de-legacy.txt.lz4 347 Flussufer
{ lz4 -9 -q -c "$OUT/text/en-ascii.txt"; printf '\x50\x2A\x4D\x18\x04\x00\x00\x00skip'
  lz4 -9 -q -c "$WORK/de.txt"; } > "$C/en-de.txt.lz4"
row compressed/en-de.txt.lz4 347 Flussufer
{ lzip -9 -q -c "$OUT/text/en-ascii.txt"; lzip -9 -q -c "$WORK/de.txt"; } > "$C/en-de.txt.lz"
row compressed/en-de.txt.lz 347 Flussufer
# Cut two thirds in, and with one byte changed two thirds in: what came
# before the damage. The LZ4 frame holds one block, so it yields nothing
# either way (its content checksum fails as the block is decoded). The
# damaged lzip member decodes to bytes that are not UTF-8 before it stops,
# so the charset of its text is guessed and only ASCII words stay whole.
for codec in lz4:-:- lz:député:quartier; do
    ext=${codec%%:*} words=${codec#*:}
    size=$(wc -c < "$C/fr.txt.$ext")
    head -c $((size * 2 / 3)) "$C/fr.txt.$ext" > "$C/cut.txt.$ext"
    row "compressed/cut.txt.$ext" 347 "${words%%:*}"
    cp "$C/fr.txt.$ext" "$C/damaged.txt.$ext"
    printf '\xFF' | dd of="$C/damaged.txt.$ext" bs=1 seek=$((size * 2 / 3)) conv=notrunc status=none
    row "compressed/damaged.txt.$ext" 347 "${words#*:}"
done
# A bomb: a PDF header and 200 MB of zero bytes; decompression stops at the
# cap and the document is refused.
{ printf '%%PDF-1.4\n'; head -c 200000000 /dev/zero; } | gzip -9 -n > "$C/bomb.pdf.gz"
row compressed/bomb.pdf.gz 347 -
# LZ4 packs at most 255 bytes into one, so its bomb holds just over 64 MiB.
{ printf '%%PDF-1.4\n'; head -c 68000000 /dev/zero; } | lz4 -9 -q -c > "$C/bomb.pdf.lz4"
row compressed/bomb.pdf.lz4 347 -
{ printf '%%PDF-1.4\n'; head -c 200000000 /dev/zero; } | lzip -9 -q -c > "$C/bomb.pdf.lz"
row compressed/bomb.pdf.lz 347 -
