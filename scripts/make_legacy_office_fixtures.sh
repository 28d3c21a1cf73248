#!/bin/sh
# Makes the legacy office samples of tests/data/dxfilter/docs/ with the small
# writers of scripts/fixtures/ (python3 alone, the same bytes each time) and
# prints their rows of formats.tsv:
#   Word 97-2003        docs/{en,de,fr,es,ru,zh}.doc: title, heading, two
#                       paragraphs, a table (8-bit pieces where Windows-1252
#                       holds the text, else UTF-16LE); docs/fr-fields.doc:
#                       fields (a table of contents, a hyperlink, a page
#                       count, a date), a table and a footnote
#   PowerPoint 97-2003  docs/en.ppt (TextBytesAtoms), docs/zh.ppt
#                       (TextCharsAtoms): three slides and a master
#   RTF                 docs/ru-cp.rtf (Windows-1251), docs/zh-cp.rtf (GBK):
#                       \uN escapes with fallbacks in the code page, \'hh
#                       escapes, \upr groups, a footer, bookmarks, a table
#   damaged             bad/encrypted.doc, bad/truncated.doc
# Each sample's word must come out of independent readers too: antiword and
# catdoc (Word), catppt (PowerPoint), pandoc (RTF; it reads the \uN escapes
# but takes \'hh as Windows-1252), and libgsf must list its streams.
# make_filter_fixtures.sh calls it with the texts of its six languages:
#   make_legacy_office_fixtures.sh < "lang<TAB>title<TAB>s1<TAB>s2<TAB>word" lines
set -eu
cd "$(dirname "$0")/.."
OUT="$PWD/tests/data/dxfilter"
W="python3 $PWD/scripts/fixtures/legacy_office.py"
mkdir -p "$OUT/docs" "$OUT/bad"
row() { printf '%s\t%s\t%s\n' "$1" "$2" "$3"; }
# check FILE WORD READER...: the reader's text of FILE holds WORD.
check() {
    file=$1 word=$2
    shift 2
    "$@" "$file" 2>/dev/null | grep -q -F "$word" ||
        { echo "make_legacy_office_fixtures: $* does not read $word in $file" >&2; exit 1; }
}
ole() {
    gsf list "$1" >/dev/null ||
        { echo "make_legacy_office_fixtures: libgsf cannot list $1" >&2; exit 1; }
}
tab=$(printf '\t')
while IFS="$tab" read -r l t s1 s2 w; do
    case $l in
        en) lid=0x0409 ;; de) lid=0x0407 ;; fr) lid=0x040C ;; es) lid=0x0C0A ;;
        ru) lid=0x0419 ;; zh) lid=0x0804 ;; *) echo "unknown language $l" >&2; exit 1 ;;
    esac
    $W doc "$OUT/docs/$l.doc" "$lid" "$t" "$s1" "$s2" "$w"
    ole "$OUT/docs/$l.doc"
    check "$OUT/docs/$l.doc" "$w" antiword -m UTF-8.txt
    check "$OUT/docs/$l.doc" "$w" catdoc -d utf-8
    row "docs/$l.doc" 309 "$w"
    case $l in
        en | zh)
            $W ppt "$OUT/docs/$l.ppt" "$t" "$s1" "$w" "$s2"
            ole "$OUT/docs/$l.ppt"
            check "$OUT/docs/$l.ppt" "$w" catppt -d utf-8
            row "docs/$l.ppt" 311 "$w" ;;
    esac
    case $l in
        ru) $W rtf "$OUT/docs/ru-cp.rtf" 1251 204 1049 "$t" "$s1" "$s2" "$w"
            check "$OUT/docs/ru-cp.rtf" "$w" pandoc -f rtf -t plain
            row docs/ru-cp.rtf 308 "$w" ;;
        zh) $W rtf "$OUT/docs/zh-cp.rtf" 936 134 2052 "$t" "$s1" "$s2" "$w"
            check "$OUT/docs/zh-cp.rtf" "$w" pandoc -f rtf -t plain
            row docs/zh-cp.rtf 308 "$w" ;;
    esac
done
$W fields "$OUT/docs/fr-fields.doc"
ole "$OUT/docs/fr-fields.doc"
check "$OUT/docs/fr-fields.doc" endormi antiword -m UTF-8.txt
check "$OUT/docs/fr-fields.doc" endormi catdoc -d utf-8
row docs/fr-fields.doc 309 endormi
# Damaged: encrypted (the flag of the FIB), and cut in the middle.
python3 - "$OUT/docs/de.doc" "$OUT/bad/encrypted.doc" <<'PY'
import sys
doc = bytearray(open(sys.argv[1], 'rb').read())
fib = next(at for at in range(512, len(doc), 512) if doc[at:at + 2] == b'\xec\xa5')
doc[fib + 0x0B] |= 0x01  # fEncrypted
open(sys.argv[2], 'wb').write(doc)
PY
row bad/encrypted.doc 309 -
size=$(wc -c < "$OUT/docs/ru.doc")
head -c $((size / 2)) "$OUT/docs/ru.doc" > "$OUT/bad/truncated.doc"; row bad/truncated.doc 340 -
