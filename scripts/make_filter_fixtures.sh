#!/bin/sh
# Makes the document fixtures of the filter plug-in's tests under
# tests/data/dxfilter/ with third-party tools and small writers of its own:
#   docx, odt, epub, pptx, rtf       pandoc
#   xlsx, ods, xls (Excel 97-2003)   gnumeric's ssconvert, from a UTF-8 CSV
#   odp                              python3: a minimal ODF presentation
#   odg, otg, otm, flat ODF (fodt,   python3's zipfile (make_odf_fixtures.py)
#   fods, fodp, fodg), odc, odf, odi
#   pdf                              pango-view (pango shapes the text, cairo
#                                    embeds the fonts with ToUnicode maps), qpdf's
#                                    library to encrypt one, python3 for
#                                    hand-made ones
#   text, markup, binary, damaged    iconv, ImageMagick, gzip, bzip2, gcc, zip,
#                                    python3; a troff page copied from
#                                    scripts/fixtures/de-page.1
#   doc, ppt, rtf (legacy)           python3: writers of its own in
#                                    scripts/fixtures/ (make_legacy_office_
#                                    fixtures.sh)
#   wpd (WordPerfect)                python3: scripts/fixtures/wordperfect.py
#                                    (make_wordperfect_fixtures.sh)
#   ps, eps (PostScript)             python3: scripts/fixtures/postscript.py
#   e-mail, message catalogs,        python3 (make_mail_fixtures.py,
#   e-books                          make_catalog_fixtures.py,
#                                    make_ebook_fixtures.py)
#   djvu                             djvulibre-bin's cjb2, djvused, djvm and
#                                    djvmcvt (make_djvu_fixtures.py)
#   compiled HTML Help               fp-utils-3.2.2's chmcmd
#                                    (make_chm_fixtures.py)
#   xps, oxps                        python3's zipfile, and Ghostscript's
#                                    xpswrite device for one page without
#                                    text (make_xps_fixtures.py)
#   pages, key, numbers (iWork '09)  python3's zipfile (make_iwork_fixtures.py)
#   wk1, wks, wq1, wk3 (Lotus 1-2-3,  python3, record by record, and the compound
#   Quattro Pro, Works)              file writer (make_works_fixtures.py)
#   wri, doc (Write, Word for DOS)   python3, page by page (make_write_fixtures.py)
#   vsdx, vstx, vdx, vsd (Visio)     python3's zipfile and string XML, the compound
#                                    file writer (make_visio_fixtures.py)
#   hwp (Hangul, HWP 5)              python3's zlib, record by record, and the
#                                    compound file writer (make_hwp_fixtures.py)
#   hwpx (Hangul, zip package)       python3's zipfile and string XML
#                                    (make_hwpx_fixtures.py)
#   webarchive (Safari)              python3's plistlib, binary and XML, and a
#                                    writer of its own for damaged lists
#                                    (make_webarchive_fixtures.py)
#   pub (Publisher 98, 2000)         python3, chunk by chunk, and the compound
#                                    file writer; checked with pub2raw
#                                    (make_publisher_fixtures.py)
#   mcw (MacWrite 4.5, 5.0)          python3, paragraph by paragraph; checked with
#                                    mwaw2text (make_macwrite_fixtures.py)
#   sxw, stw, sxc, sxi, sxd, sxm     python3's zipfile
#   (OpenOffice.org 1.x)             (make_staroffice_fixtures.py)
#   xlsb (Excel binary workbook)     SheetJS, npm's `xlsx` (make_xlsb_fixtures.js)
#   Office's single-file XML         pandoc's and ssconvert's packages written
#   (flat packages, Word and Excel   out flat, the 2003 documents by hand
#   2003 XML)                        (make_msxml_fixtures.py)
#   tex, texi (LaTeX, Texinfo)       by hand (scripts/fixtures), iconv, gzip
# Also writes tests/data/dxfilter/formats.tsv, the table of every sample with
# its expected format code and a word its extracted text must contain.
#
# The output is byte-reproducible: two runs, on any machine with the same
# Debian packages, write the same bytes. Every tool runs with TZ=UTC,
# LC_ALL=C.UTF-8 and SOURCE_DATE_EPOCH (a fixed date); pandoc honours it for
# DOCX and PPTX, and scripts/fixtures/reproducible.py sets the rest in what
# the tools wrote: the times of the entries of every ZIP package (pandoc,
# gnumeric), the creation dates in docProps/core.xml and meta.xml (gnumeric),
# the summary information times of the Excel 97-2003 workbooks (gnumeric),
# and the /CreationDate of cairo's PDFs. EPUBs get a fixed identifier instead
# of pandoc's random UUID; ImageMagick leaves out its PNG date chunks; zip gets
# inputs of a fixed time and -X (no uid/gid or extended times); the random
# bytes come from a seeded generator; the encrypted samples are written by
# scripts/fixtures/encrypt_pdf.cpp (qpdf's library with a seeded random source)
# and reproducible.py (a ZIP with the traditional cipher).
#
# Needs (scripts/deps.sh fixtures installs them): pandoc gnumeric
#        pango1.0-tools qpdf libqpdf-dev g++ fonts-noto-core fonts-dejavu-core
#        fonts-wqy-microhei imagemagick zip unzip bzip2 gcc python3, and to check
#        the legacy office samples catdoc antiword libgsf-bin, and the
#        WordPerfect samples libwpd-tools; for the DjVu samples djvulibre-bin; for
#        the compiled HTML Help samples fp-utils-3.2.2; for the XPS sample
#        without text ghostscript; for the XLSB samples nodejs and SheetJS
set -eu
cd "$(dirname "$0")/.."
# 2024-01-01 00:00:00 UTC stands for the time of the run.
SOURCE_DATE_EPOCH=1704067200 TZ=UTC LC_ALL=C.UTF-8
export SOURCE_DATE_EPOCH TZ LC_ALL
REPRO="python3 $PWD/scripts/fixtures/reproducible.py"
OUT="$PWD/tests/data/dxfilter"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# Every file is made again.
find "$OUT" -type f -exec rm -f {} +
mkdir -p "$OUT/docs" "$OUT/text" "$OUT/binary" "$OUT/bad"
# A German manual page in troff, written by hand (the compressed samples and
# the manual-page tests read it).
cp scripts/fixtures/de-page.1 "$OUT/text/de-page.1"
TABLE="$OUT/formats.tsv"
printf '# sample\tformat code\tword the extracted text contains (- for none)\n' > "$TABLE"
row() { printf '%s\t%s\t%s\n' "$1" "$2" "$3" >> "$TABLE"; }

# Six languages, each: code, title, two sentences, and a word to look for.
langs="en de fr es ru zh"
title_en="The fox and the baker"
s1_en="The quick brown fox jumps over the lazy dog near the river bank."
s2_en="Every morning the baker opens his shop and sells fresh bread to the neighbours."
w_en=neighbours
title_de="Der Fuchs und der Bäcker"
s1_de="Der schnelle braune Fuchs springt über den faulen Hund am Flussufer."
s2_de="Jeden Morgen öffnet der Bäcker seinen Laden und verkauft frisches Brot."
w_de=Flussufer
title_fr="Le renard et le boulanger"
s1_fr="Le renard brun rapide saute par-dessus le chien paresseux près de la rivière."
s2_fr="Chaque matin, le boulanger ouvre sa boutique et vend du pain frais aux voisins."
w_fr=boulanger
title_es="El zorro y el panadero"
s1_es="El rápido zorro marrón salta sobre el perro perezoso junto al río."
s2_es="Cada mañana el panadero abre su tienda y vende pan fresco a los vecinos."
w_es=panadero
title_ru="Лиса и пекарь"
s1_ru="Быстрая коричневая лиса прыгает через ленивую собаку у реки."
s2_ru="Каждое утро пекарь открывает свою лавку и продаёт свежий хлеб соседям."
w_ru=пекарь
title_zh="狐狸和面包师"
s1_zh="敏捷的棕色狐狸跳过了河边那只懒惰的狗。"
s2_zh="每天早上，面包师打开他的店铺，把新鲜的面包卖给邻居。"
w_zh=面包师
get() { eval "printf '%s' \"\$$1_$2\""; }

# A PDF of text: pango-view lays out the text file $2 (shaping, bidi, font
# fallback) and cairo writes it with embedded font subsets that map every
# glyph back to its characters. Further options follow the two files.
pdf() { # output, text file, pango-view options...
    out=$1 in=$2
    shift 2
    pango-view -q --width=450 --margin=54 "$@" -o "$out" "$in" >/dev/null
    $REPRO pdf "$out"
}

# A minimal ODF presentation: the slides of a pandoc presentation (a title
# slide, then one per level-2 heading), each a title frame and a text frame.
odp() { # output, title, then heading and text of each slide
    python3 - "$@" <<'PY'
import sys, zipfile
from xml.sax.saxutils import escape
sys.path.insert(0, 'scripts/fixtures')
from reproducible import entry
out, title, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
      'office:version="1.2"')
def frame(cls, y, text):
    return ('<draw:frame presentation:class="%s" svg:x="1.4cm" svg:y="%s" svg:width="25.2cm" '
            'svg:height="3cm"><draw:text-box><text:p>%s</text:p></draw:text-box></draw:frame>'
            % (cls, y, escape(text)))
slides = [frame('title', '1cm', title)]
for i in range(0, len(rest), 2):
    slides.append(frame('title', '1cm', rest[i]) + frame('outline', '5cm', rest[i + 1]))
pages = ''.join('<draw:page draw:name="page%d" draw:master-page-name="Default">%s</draw:page>'
                % (n, body) for n, body in enumerate(slides, 1))
content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content %s><office:body>'
           '<office:presentation>%s</office:presentation></office:body></office:document-content>'
           % (ns, pages))
styles = ('<?xml version="1.0" encoding="UTF-8"?><office:document-styles %s><office:automatic-styles>'
          '<style:page-layout style:name="PM1"><style:page-layout-properties fo:page-width="28cm" '
          'fo:page-height="15.75cm" style:print-orientation="landscape"/></style:page-layout>'
          '</office:automatic-styles><office:master-styles><style:master-page style:name="Default" '
          'style:page-layout-name="PM1"/></office:master-styles></office:document-styles>' % ns)
manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
            'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
            '<manifest:file-entry manifest:full-path="/" manifest:version="1.2" manifest:media-type='
            '"application/vnd.oasis.opendocument.presentation"/>'
            '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
            '<manifest:file-entry manifest:full-path="styles.xml" manifest:media-type="text/xml"/>'
            '</manifest:manifest>')
with zipfile.ZipFile(out, 'w') as z:
    z.writestr(entry('mimetype', zipfile.ZIP_STORED), 'application/vnd.oasis.opendocument.presentation')
    z.writestr(entry('content.xml'), content)
    z.writestr(entry('styles.xml'), styles)
    z.writestr(entry('META-INF/manifest.xml'), manifest)
PY
}

for l in $langs; do
    t=$(get title "$l"); s1=$(get s1 "$l"); s2=$(get s2 "$l"); w=$(get w "$l")
    md="$WORK/$l.md"
    printf '%% %s\n\n# %s\n\n%s\n\n%s\n\n| %s | %s |\n|---|---|\n| %s | %s |\n' \
        "$t" "$t" "$s1" "$s2" "$t" "$w" "$s1" "$s2" > "$md"
    # pandoc gives an EPUB a random UUID unless it has an identifier.
    id=urn:uuid:676c6f74-7461-4000-8000-0000$(printf %s "$l" | od -An -tx1 | tr -d ' \n')0000
    for f in docx odt rtf; do
        pandoc -s --metadata lang="$l" -o "$OUT/docs/$l.$f" "$md"
    done
    pandoc -s --metadata lang="$l" --metadata identifier="$id" -o "$OUT/docs/$l.epub" "$md"
    $REPRO zip "$OUT/docs/$l.docx" "$OUT/docs/$l.odt" "$OUT/docs/$l.epub"
    # Slides: one per level-2 heading.
    printf '%% %s\n\n## %s\n\n%s\n\n## %s\n\n%s\n' "$t" "$t" "$s1" "$w" "$s2" > "$WORK/$l-slides.md"
    pandoc -o "$OUT/docs/$l.pptx" "$WORK/$l-slides.md"
    $REPRO zip "$OUT/docs/$l.pptx"
    odp "$OUT/docs/$l.odp" "$t" "$t" "$s1" "$w" "$s2"
    # Spreadsheets from a UTF-8 CSV; the Excel 97-2003 workbook must give
    # the words of its XLSX twin.
    printf '"%s","%s"\n"%s","%s"\n"%s",42\n' "$t" "$w" "$s1" "$s2" "$w" > "$WORK/$l.csv"
    for f in xlsx:Gnumeric_Excel:xlsx ods:Gnumeric_OpenCalc:odf xls:Gnumeric_Excel:excel_biff8; do
        ssconvert --import-encoding=UTF-8 -T "${f#*:}" "$WORK/$l.csv" "$OUT/docs/$l.${f%%:*}" \
            >/dev/null 2>&1
    done
    $REPRO zip "$OUT/docs/$l.xlsx" "$OUT/docs/$l.ods"
    $REPRO ole "$OUT/docs/$l.xls"
    # The document as pages: title, heading, paragraphs and table cells.
    printf '<span size="x-large" weight="bold">%s</span>\n\n<b>%s</b>\n\n%s\n\n%s\n\n%s\n%s\n\n%s\n%s\n' \
        "$t" "$t" "$s1" "$s2" "$t" "$w" "$s1" "$s2" > "$WORK/$l-pdf.txt"
    pdf "$OUT/docs/$l.pdf" "$WORK/$l-pdf.txt" --markup --language="$l" --font="Noto Serif 12"
    row "docs/$l.docx" 301 "$w"; row "docs/$l.xlsx" 302 "$w"; row "docs/$l.pptx" 303 "$w"
    row "docs/$l.odt" 304 "$w"; row "docs/$l.ods" 305 "$w"; row "docs/$l.odp" 306 "$w"
    row "docs/$l.epub" 307 "$w"; row "docs/$l.rtf" 308 "$w"; row "docs/$l.pdf" 300 "$w"
    row "docs/$l.xls" 310 "$w"
done

# RTF by hand in a code page (make_legacy_office_fixtures.sh writes more).
python3 - "$s2_ru" > "$OUT/docs/ru-cp1251.rtf" <<'PY'
import sys
body = ''.join(c if ord(c) < 128 else "\\'%02x" % c.encode('cp1251')[0] for c in sys.argv[1])
print('{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}'
      '{\\*\\generator hand;}\\f0 ' + body + '\\par\n}')
PY
row docs/ru-cp1251.rtf 308 "$w_ru"

# Slides listed by the presentation in another order than their file numbers.
python3 - "$OUT/docs/en.pptx" "$OUT/docs/en-reordered.pptx" <<'PY'
import sys, zipfile
src, dst = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)
for item in src.infolist():
    data = src.read(item.filename)
    if item.filename == 'ppt/_rels/presentation.xml.rels':
        data = (data.replace(b'slides/slide1.xml', b'@').replace(b'slides/slide3.xml', b'slides/slide1.xml')
                .replace(b'@', b'slides/slide3.xml'))
    dst.writestr(item, data)
dst.close()
PY
row docs/en-reordered.pptx 303 "$w_en"

# Tracked deletions and comments are not part of the text.
python3 - "$OUT/docs/fr.odt" "$OUT/docs/fr-tracked.odt" <<'PY'
import sys, zipfile
src, dst = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)
for item in src.infolist():
    data = src.read(item.filename)
    if item.filename == 'content.xml':
        data = data.replace(b'<office:text>', b'<office:text><text:tracked-changes><text:changed-region text:id="c1">'
            b'<text:deletion><text:p>supprim\xc3\xa9 effac\xc3\xa9</text:p></text:deletion></text:changed-region>'
            b'</text:tracked-changes><text:p>Une remarque<office:annotation><text:p>commentaire cach\xc3\xa9</text:p>'
            b'</office:annotation> visible.</text:p>', 1)
    dst.writestr(item, data)
dst.close()
PY
row docs/fr-tracked.odt 304 remarque

# Legacy Word (97-2003) in every language and French with fields and a
# footnote, PowerPoint (97-2003) in a Latin and a CJK language, RTF in code
# pages, and damaged Word documents.
for l in $langs; do
    printf '%s\t%s\t%s\t%s\t%s\n' "$l" "$(get title "$l")" "$(get s1 "$l")" "$(get s2 "$l")" "$(get w "$l")"
done | scripts/make_legacy_office_fixtures.sh >> "$TABLE"

# WordPerfect 5.1 in the languages its character sets hold, with a header and
# a footnote, empty, protected by a password and damaged.
for l in $langs; do
    printf '%s\t%s\t%s\t%s\t%s\n' "$l" "$(get title "$l")" "$(get s1 "$l")" "$(get s2 "$l")" "$(get w "$l")"
done | scripts/make_wordperfect_fixtures.sh >> "$TABLE"

# PostScript and EPS, hand-written with the standard fonts in ISO Latin-1, in
# seven languages; without text, damaged, looping, reaching for a file.
python3 scripts/fixtures/postscript.py "$OUT" >> "$TABLE"

# Plain text in many charsets, and markup.
all() { for l in $langs; do printf '%s\n%s\n%s\n\n' "$(get title "$l")" "$(get s1 "$l")" "$(get s2 "$l")"; done; }
text() { printf '%s\n%s\n%s\n' "$(get title "$1")" "$(get s1 "$1")" "$(get s2 "$1")"; }
all > "$OUT/text/mixed-utf8.txt"; row text/mixed-utf8.txt 2 -
text en > "$OUT/text/en-ascii.txt"; row text/en-ascii.txt 2 -
text de | iconv -t ISO-8859-1 > "$OUT/text/de-latin1.txt"; row text/de-latin1.txt 2 -
text ru | iconv -t KOI8-R > "$OUT/text/ru-koi8r.txt"; row text/ru-koi8r.txt 2 -
text ru | iconv -t CP1251 > "$OUT/text/ru-cp1251.txt"; row text/ru-cp1251.txt 2 -
text zh | iconv -t GB18030 > "$OUT/text/zh-gb18030.txt"; row text/zh-gb18030.txt 2 -
text zh | iconv -t BIG5 -c > "$OUT/text/zh-big5.txt"; row text/zh-big5.txt 2 -
printf '素早い茶色の狐がのろまな犬を飛び越える。\n毎朝パン屋は店を開ける。\n' | iconv -t SHIFT_JIS > "$OUT/text/ja-sjis.txt"
row text/ja-sjis.txt 2 -
printf '素早い茶色の狐がのろまな犬を飛び越える。\n' | iconv -t ISO-2022-JP > "$OUT/text/ja-iso2022.txt"
row text/ja-iso2022.txt 2 -
printf '빠른 갈색 여우가 게으른 개를 뛰어넘는다.\n' | iconv -t EUC-KR > "$OUT/text/ko-euckr.txt"
row text/ko-euckr.txt 2 -
printf '빠른 갈색 여우가 게으른 개를 뛰어넘는다.\n' | iconv -t ISO-2022-KR > "$OUT/text/ko-iso2022kr.txt"
row text/ko-iso2022kr.txt 2 -
text fr | iconv -t UTF-16LE > "$OUT/text/fr-utf16le-nobom.txt"; row text/fr-utf16le-nobom.txt 2 -
text ru | iconv -t UTF-16BE > "$OUT/text/ru-utf16be-nobom.txt"; row text/ru-utf16be-nobom.txt 2 -
text zh | iconv -t UTF-16 > "$OUT/text/zh-utf16-bom.txt"; row text/zh-utf16-bom.txt 2 -
text es | iconv -t UTF-32LE > "$OUT/text/es-utf32le-nobom.txt"; row text/es-utf32le-nobom.txt 2 -
{ printf '\357\273\277'; text es; } > "$OUT/text/es-utf8-bom.txt"; row text/es-utf8-bom.txt 2 -
# Stray control bytes, as old editors and terminals leave them.
{ text en; printf 'line with a form\014feed, a bell\007 and a backspace\010 here\n'; text de; } \
    > "$OUT/text/en-stray-controls.txt"
row text/en-stray-controls.txt 2 -
: > "$OUT/text/empty.txt"; row text/empty.txt 2 -

html_doc() {
    printf '<!DOCTYPE html>\n<html lang="%s"><head><meta charset="utf-8"><title>%s</title></head>\n<body><h1>%s</h1><p>%s</p><p>%s</p></body></html>\n' \
        "$1" "$(get title "$1")" "$(get title "$1")" "$(get s1 "$1")" "$(get s2 "$1")"
}
html_doc fr > "$OUT/text/fr.html"; row text/fr.html 210 -
html_doc ru | sed 's/charset="utf-8"/charset="windows-1251"/' | iconv -t CP1251 > "$OUT/text/ru-cp1251.html"
row text/ru-cp1251.html 210 -
pandoc -s -t html "$WORK/zh.md" -o "$OUT/text/zh-pandoc.html"; row text/zh-pandoc.html 210 -
printf '%s<br>\n%s<br>\n<b>%s</b>\n' "$s1_es" "$s2_es" "$w_es" > "$OUT/text/es-tagpoor.html"
row text/es-tagpoor.html 210 -
printf '<p>%s</p>\n<p>%s</p>\n' "$s1_de" "$s2_de" > "$OUT/text/de-fragment.html"; row text/de-fragment.html 210 -
printf '<!-- saved page -->\n<div class="x">%s</div>\n' "$s1_en" > "$OUT/text/en-comment.html"
row text/en-comment.html 210 -
pandoc -s -t html "$WORK/de.md" -o "$WORK/de.html"
pandoc -s -t epub --metadata identifier=urn:uuid:676c6f74-7461-4000-8000-000064650000 "$WORK/de.md" -o "$WORK/de-x.epub"
python3 - "$WORK/de-x.epub" "$OUT/text/de.xhtml" <<'PY'
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
name = [n for n in z.namelist() if n.endswith('.xhtml') and 'nav' not in n][-1]
open(sys.argv[2], 'wb').write(z.read(name))
PY
row text/de.xhtml 210 -
text en | iconv -t UTF-16LE | python3 -c "import sys; d=sys.stdin.buffer.read(); sys.stdout.buffer.write(b'\xff\xfe'+'<html><body><p>'.encode('utf-16le')+d+'</p></body></html>'.encode('utf-16le'))" \
    > "$OUT/text/en-utf16.html"
row text/en-utf16.html 210 -
printf '<?xml version="1.0" encoding="UTF-8"?>\n<note xml:lang="ru"><to>%s</to><body>%s</body></note>\n' "$t" "$s2_ru" \
    > "$OUT/text/ru.xml"
row text/ru.xml 285 -
printf '<catalog xmlns="urn:example:books"><book id="1"><title>%s</title></book></catalog>\n' "$s1_fr" > "$OUT/text/fr-noheader.xml"
row text/fr-noheader.xml 285 -
printf '<DOC>\n<DOCNO>FT-0001</DOCNO>\n<TEXT>\n%s\n%s\n</TEXT>\n</DOC>\n' "$s1_en" "$s2_en" > "$OUT/text/en-trec.sgml"
row text/en-trec.sgml 209 -
printf '<!DOCTYPE article PUBLIC "-//OASIS//DTD DocBook V4.1//EN">\n<article><para>%s</para></article>\n' "$s1_es" \
    > "$OUT/text/es-docbook.sgml"
row text/es-docbook.sgml 209 -

# Right-to-left text as PDF, laid out in several ways: left-to-right
# paragraphs (as a plain-text import lays them out) in a proportional font
# (Arabic, Urdu, Hebrew) and in a fixed-pitch one (Persian, and Arabic inside
# an English line), and right-to-left paragraphs aligned right. The extracted
# text must equal these lines (with a combining hamza and a full stop).
rtl_ar="لكل شخص الحق في التعليم، ولا يجوز التمييز بين الناس.
ويجب أن تكون الأسرة محمية من قبل المجتمع والدولة"
rtl_fa="هر کس حق دارد که از آزادی فکر و وجدان و مذهب بهره‌مند شود
هیچ کس را نباید بر خلاف قانون توقیف یا حبس کرد"
rtl_he="כל אדם זכאי לחירות ולביטחון אישי
לא יהיה אדם נתון לעינויים או ליחס אכזרי"
rtl_ur="ہر انسان کو آزادیٔ فکر اور آزادیٔ ضمیر کا حق ہے
کسی کو غلام بنا کر نہیں رکھا جائے گا"
rtl_mixed="The Arabic word سلام عليكم means peace be upon you
Version 2 of the text"
rtl_mixed_he="The Hebrew greeting שלום עליכם means peace be upon you
Version 2 of the text"
mkdir -p "$WORK/rtl"
for l in ar fa he ur mixed; do
    printf '%s\n' "$(get rtl "$l")" > "$WORK/rtl/$l.txt"
done
pdf "$OUT/docs/ar.pdf" "$WORK/rtl/ar.txt" --no-auto-dir --language=ar --font="Noto Naskh Arabic 13"
pdf "$OUT/docs/ur.pdf" "$WORK/rtl/ur.txt" --no-auto-dir --language=ur --font="Noto Naskh Arabic 13"
pdf "$OUT/docs/he.pdf" "$WORK/rtl/he.txt" --no-auto-dir --language=he --font="DejaVu Sans 11"
pdf "$OUT/docs/fa.pdf" "$WORK/rtl/fa.txt" --no-auto-dir --language=fa --font="DejaVu Sans Mono 10"
for l in ar fa he ur; do
    row "docs/$l.pdf" 300 "$(get rtl "$l" | head -1 | cut -d' ' -f3)"
done
pdf "$OUT/docs/en-ar.pdf" "$WORK/rtl/mixed.txt" --font="DejaVu Sans Mono 10"
row docs/en-ar.pdf 300 عليكم
get rtl ar | sed 's/$/\n/' > "$WORK/rtl/ar-rtl.txt"
pdf "$OUT/docs/ar-rtl.pdf" "$WORK/rtl/ar-rtl.txt" --rtl --align=right --language=ar --font="Noto Naskh Arabic 13"
row docs/ar-rtl.pdf 300 التعليم
# The same lines in fonts whose glyphs pango places on a whole-point grid
# away from their advances: poppler splits words there (each row's word came
# out in two pieces).
pdf "$OUT/docs/ar-sans.pdf" "$WORK/rtl/ar.txt" --no-auto-dir --language=ar --font="Noto Sans Arabic 11"
row docs/ar-sans.pdf 300 الأسرة
pdf "$OUT/docs/fa-naskh.pdf" "$WORK/rtl/fa.txt" --no-auto-dir --language=fa --font="Noto Naskh Arabic 13"
row docs/fa-naskh.pdf 300 مذهب
pdf "$OUT/docs/he-sans.pdf" "$WORK/rtl/he.txt" --no-auto-dir --language=he --font="Noto Sans Hebrew 11"
row docs/he-sans.pdf 300 אדם
pdf "$OUT/docs/he-serif.pdf" "$WORK/rtl/he.txt" --rtl --align=right --language=he --font="Noto Serif Hebrew 11"
row docs/he-serif.pdf 300 לחירות
printf '%s\n' "$rtl_mixed_he" > "$WORK/rtl/mixed-he.txt"
pdf "$OUT/docs/en-he.pdf" "$WORK/rtl/mixed-he.txt" --font="Noto Serif Hebrew 11"
row docs/en-he.pdf 300 עליכם

# Binary samples.
convert -size 32x32 xc:steelblue -define png:exclude-chunks=date,time "$OUT/binary/blue.png"; row binary/blue.png 343 -
convert -size 32x32 xc:tomato "$OUT/binary/red.jpg"; row binary/red.jpg 343 -
convert -size 16x16 xc:gold "$OUT/binary/gold.gif"; row binary/gold.gif 343 -
printf 'int main(void) { return 0; }\n' > "$WORK/a.c"
gcc -Os -s -o "$OUT/binary/true.elf" "$WORK/a.c"; row binary/true.elf 345 -
text en | gzip -9 > "$OUT/binary/en.txt.gz"; row binary/en.txt.gz 347 "$w_en"
text en | bzip2 -9 > "$OUT/binary/en.txt.bz2"; row binary/en.txt.bz2 347 "$w_en"
# zip stores each file's time and mode: copies of a fixed time and mode, and -X
# leaves out the uid/gid and extended time fields.
mkdir -p "$WORK/plain" && cp "$OUT/text/en-ascii.txt" "$OUT/text/mixed-utf8.txt" "$WORK/plain/"
chmod 644 "$WORK/plain/"* && touch -d "@$SOURCE_DATE_EPOCH" "$WORK/plain/"*
(cd "$WORK/plain" && zip -q -X "$OUT/binary/plain.zip" en-ascii.txt mixed-utf8.txt)
row binary/plain.zip 341 -
$REPRO random 3000 1 > "$OUT/binary/random.bin"; row binary/random.bin 346 -

# Damaged and hostile documents: recognised by their signature, yield no text.
head -c 2000 "$OUT/docs/en.docx" > "$OUT/bad/truncated.docx"; row bad/truncated.docx 341 -
head -c 3000 "$OUT/docs/en.pdf" > "$OUT/bad/truncated.pdf"; row bad/truncated.pdf 300 -
cp "$OUT/docs/fr.odt" "$OUT/bad/corrupt.odt"
size=$(wc -c < "$OUT/bad/corrupt.odt")
$REPRO random 4000 2 | dd of="$OUT/bad/corrupt.odt" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
row bad/corrupt.odt 304 -
# zip -P takes its cipher's header bytes from a generator seeded with the
# time: reproducible.py encrypts instead, the entries in the document's order.
$REPRO zipcrypto "$OUT/docs/en.docx" "$OUT/bad/encrypted.docx" secret
row bad/encrypted.docx 301 -
# qpdf --encrypt takes salts, key and IVs from the system's random source and
# cannot be told otherwise (--static-id and --static-aes-iv leave the rest).
g++ -O1 -DPOINTERHOLDER_TRANSITION=4 -o "$WORK/encrypt_pdf" scripts/fixtures/encrypt_pdf.cpp -lqpdf
"$WORK/encrypt_pdf" "$OUT/docs/en.pdf" "$OUT/bad/encrypted.pdf"
row bad/encrypted.pdf 300 -
python3 - "$OUT/bad/bomb.docx" <<'PY'
import sys, zipfile
sys.path.insert(0, 'scripts/fixtures')
from reproducible import entry
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    z.writestr(entry('[Content_Types].xml'), '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
    body = b'<?xml version="1.0"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p><w:r><w:t>bomb '
    z.writestr(entry('word/document.xml'), body + b' ' * (80 << 20) + b'</w:t></w:r></w:p></w:body></w:document>', compresslevel=9)
PY
row bad/bomb.docx 301 bomb
python3 - "$OUT/bad/entities.docx" <<'PY'
import sys, zipfile
sys.path.insert(0, 'scripts/fixtures')
from reproducible import entry
lol = '<!DOCTYPE d [<!ENTITY a "ha ha ha ha ha ha ha ha ha ha">' + ''.join(
    '<!ENTITY %s "%s">' % (chr(98 + i), ('&%s;' % chr(97 + i)) * 10) for i in range(9)) + ']>'
doc = ('<?xml version="1.0"?>' + lol.replace('<!DOCTYPE d', '<!DOCTYPE w:document') +
       '<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>'
       '<w:p><w:r><w:t>laughs &j;</w:t></w:r></w:p></w:body></w:document>')
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr(entry('[Content_Types].xml'), '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>')
    z.writestr(entry('word/document.xml'), doc)
PY
row bad/entities.docx 301 laughs
printf '{\\rtf1\\ansi %s\\par {\\b\\i\\ul ' "$s1_en" > "$OUT/bad/unclosed.rtf"; row bad/unclosed.rtf 308 quick
python3 -c "import sys; sys.stdout.write('{\\\\rtf1 deep ' + '{' * 5000 + 'inside' + '}' * 5000 + ' end}')" \
    > "$OUT/bad/deep.rtf"
row bad/deep.rtf 308 end
# Two PDFs written here object by object: a page that is only a picture (a
# black rectangle on white), and one page of 400,000 text objects drawn at
# one spot, whose text takes the PDF reader far longer than a document may
# take (not in the table: the worker tests use it, each costing the time
# limit).
python3 - "$OUT/bad/image-only.pdf" "$OUT/bad/pile-up.pdf" <<'PY'
import sys, zlib
def write_pdf(path, page, resources, content):
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Resources << %s >> /Contents 4 0 R >>"
            % (page + (resources[0],)),
            b"<< /Length %d /Filter /FlateDecode >>\nstream\n" % len(content) + content + b"\nendstream"]
    objs += resources[1:]
    out, offsets = bytearray(b"%PDF-1.4\n"), []
    for i, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    out += b"".join(b"%010d 00000 n \n" % at for at in offsets)
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    open(path, "wb").write(out)
pixels = zlib.compress(b"".join(bytes(255 if x < 20 or x >= 180 or y < 20 or y >= 80 else 0
                                     for x in range(200)) for y in range(100)))
write_pdf(sys.argv[1], (200, 100), (b"/XObject << /Im1 5 0 R >>",
          b"<< /Type /XObject /Subtype /Image /Width 200 /Height 100 /ColorSpace /DeviceGray"
          b" /BitsPerComponent 8 /Length %d /Filter /FlateDecode >>\nstream\n" % len(pixels) + pixels +
          b"\nendstream"), zlib.compress(b"q 200 0 0 100 0 0 cm /Im1 Do Q\n"))
write_pdf(sys.argv[2], (612, 792), (b"/Font << /F1 5 0 R >>",
          b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"),
          zlib.compress(b"BT /F1 12 Tf 100 700 Td (pile) Tj ET\n" * 400000))
PY
row bad/image-only.pdf 300 -
# Compressed documents, from the samples above.
scripts/make_compressed_fixtures.sh >> "$TABLE"
python3 scripts/make_mail_fixtures.py >> "$TABLE"
python3 scripts/make_catalog_fixtures.py >> "$TABLE"
python3 scripts/make_ebook_fixtures.py >> "$TABLE"
python3 scripts/make_djvu_fixtures.py >> "$TABLE"
python3 scripts/make_chm_fixtures.py >> "$TABLE"
python3 scripts/make_xps_fixtures.py >> "$TABLE"
python3 scripts/make_odf_fixtures.py >> "$TABLE"
python3 scripts/make_iwork_fixtures.py >> "$TABLE"
python3 scripts/make_works_fixtures.py >> "$TABLE"
python3 scripts/make_write_fixtures.py >> "$TABLE"
python3 scripts/make_visio_fixtures.py >> "$TABLE"
python3 scripts/make_hwp_fixtures.py >> "$TABLE"
python3 scripts/make_hwpx_fixtures.py >> "$TABLE"
python3 scripts/make_webarchive_fixtures.py >> "$TABLE"
python3 scripts/make_publisher_fixtures.py >> "$TABLE"
python3 scripts/make_macwrite_fixtures.py >> "$TABLE"
python3 scripts/make_staroffice_fixtures.py >> "$TABLE"
python3 scripts/make_msxml_fixtures.py >> "$TABLE"
node scripts/make_xlsb_fixtures.js >> "$TABLE"
# LaTeX and Texinfo sources, written by hand in UTF-8 (scripts/fixtures/de-brief.tex,
# fr-latin1.tex, es-latin1.texi); the two Latin-1 ones converted with iconv, the German
# letter also gzipped.
mkdir -p "$OUT/tex"
cp scripts/fixtures/de-brief.tex "$OUT/tex/de-brief.tex"; row tex/de-brief.tex 380 Sommerfest
iconv -f UTF-8 -t ISO-8859-1 scripts/fixtures/fr-latin1.tex > "$OUT/tex/fr-latin1.tex"
row tex/fr-latin1.tex 380 rivière
iconv -f UTF-8 -t ISO-8859-1 scripts/fixtures/es-latin1.texi > "$OUT/tex/es-latin1.texi"
row tex/es-latin1.texi 381 panadera
gzip -9 -n -c "$OUT/tex/de-brief.tex" > "$OUT/tex/de-brief.tex.gz"
row tex/de-brief.tex.gz 347 Sommerfest
echo "fixtures written to $OUT"
