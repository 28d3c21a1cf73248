#!/bin/sh
# Makes the WordPerfect samples of tests/data/dxfilter/ with the writer of
# scripts/fixtures/wordperfect.py (python3 alone, the same bytes each time)
# and prints their rows of formats.tsv:
#   docs/{en,de,fr,es,ru}.wpd   WordPerfect 5.1: title and two paragraphs,
#                               letters outside ASCII as extended characters
#                               of WordPerfect's Multinational and Cyrillic
#                               character sets
#   docs/{de,fr}-42.wp          WordPerfect 4.2 (no prefix): bold title and
#                               two paragraphs wrapped into lines, letters
#                               outside ASCII as extended characters; taken
#                               for 8-bit text, as nothing tells them from it
#   bad/cut-42.wp               de-42.wp cut inside its second paragraph
#   text/fr-latin1-pairs.txt,   8-bit texts that libwpd's own test takes for
#   text/de-cp437-box.txt,      WordPerfect 4.2: Latin-1 French whose every
#   text/de-1252-groups.txt     letter from 0xC0 recurs later, code page 437
#                               German framed by box-drawing runs whose
#                               letters recur at their code's group length,
#                               and a German sentence in code page 1252 whose
#                               "später ändern" is a group of fixed length
#   docs/fr-notes.wpd           French with a header and a footnote
#   docs/empty.wpd              a document without text
#   damaged                     bad/encrypted.wpd (password GLOTTA),
#                               bad/truncated.wpd (fr-notes.wpd cut inside
#                               its footnote), bad/corrupt.wpd (its footnote's
#                               closing length disagrees with the opening
#                               one: libwpd reads on past it),
#                               bad/version.wpd (a major version no
#                               WordPerfect wrote)
# Each sample's word must come out of wpd2text (libwpd-tools) too, and the
# password must open the encrypted one.
# make_filter_fixtures.sh calls it with the texts of its languages (those
# WordPerfect's character sets hold; others are skipped):
#   make_wordperfect_fixtures.sh < "lang<TAB>title<TAB>s1<TAB>s2<TAB>word" lines
set -eu
cd "$(dirname "$0")/.."
OUT="$PWD/tests/data/dxfilter"
W="python3 $PWD/scripts/fixtures/wordperfect.py"
mkdir -p "$OUT/docs" "$OUT/bad"
row() { printf '%s\t%s\t%s\n' "$1" "$2" "$3"; }
# check FILE WORD [OPTION...]: wpd2text's text of FILE holds WORD.
check() {
    file=$1 word=$2
    shift 2
    wpd2text "$@" "$file" 2>/dev/null | grep -q -F "$word" ||
        { echo "make_wordperfect_fixtures: wpd2text does not read $word in $file" >&2; exit 1; }
}
tab=$(printf '\t')
while IFS="$tab" read -r l t s1 s2 w; do
    case $l in
        en | de | fr | es | ru) ;;
        *) continue ;;
    esac
    $W doc "$OUT/docs/$l.wpd" "$t" "$s1" "$s2"
    check "$OUT/docs/$l.wpd" "$w"
    row "docs/$l.wpd" 312 "$w"
    if [ "$l" = de ] || [ "$l" = fr ]; then
        $W wp42 "$OUT/docs/$l-42.wp" "$t" "$s1" "$s2"
        check "$OUT/docs/$l-42.wp" "$w"
        row "docs/$l-42.wp" 2 -
    fi
    if [ "$l" = de ]; then
        $W encrypted "$OUT/bad/encrypted.wpd" "$t" "$s1" "$s2"
        check "$OUT/bad/encrypted.wpd" "$w" --password glotta
        row bad/encrypted.wpd 312 -
    fi
done
$W notes "$OUT/docs/fr-notes.wpd"
check "$OUT/docs/fr-notes.wpd" endormi
row docs/fr-notes.wpd 312 endormi
$W doc "$OUT/docs/empty.wpd"
row docs/empty.wpd 312 -
# Damaged: cut inside the footnote, the footnote's closing length changed,
# and major version 7.
python3 - "$OUT/docs/fr-notes.wpd" "$OUT/bad/truncated.wpd" "$OUT/bad/corrupt.wpd" \
    "$OUT/bad/version.wpd" <<'PY'
import sys
doc = open(sys.argv[1], 'rb').read()
note = doc.index(b'\xd6\x00')
open(sys.argv[2], 'wb').write(doc[:note + 30])
end = doc.index(b'\x00\xd6', note + 4)  # the closing subfunction and code
bad = bytearray(doc)
bad[end - 2] ^= 0x40
open(sys.argv[3], 'wb').write(bytes(bad))
open(sys.argv[4], 'wb').write(doc[:10] + b'\x07' + doc[11:])
PY
check "$OUT/bad/truncated.wpd" paresseux
row bad/truncated.wpd 312 paresseux
check "$OUT/bad/corrupt.wpd" voisins
row bad/corrupt.wpd 312 voisins
row bad/version.wpd 312 -
# WordPerfect 4.2 cut inside its second paragraph, and look-alikes.
python3 - "$OUT" <<'PY'
import sys
out = sys.argv[1]
doc = open(out + '/docs/de-42.wp', 'rb').read()
second = doc.index(b'\x0a', doc.index(b'\x0a\x0a') + 2) + 1
open(out + '/bad/cut-42.wp', 'wb').write(doc[:second + 40])
open(out + '/text/fr-latin1-pairs.txt', 'wb').write(
    ('Le député a été réélu en été. Le préfet est invité au défilé du quartier, '
     'puis le député a résumé ses idées rêvées.\n').encode('latin-1'))
box = ('\u2550' * 30 + '\r\n  Kassenbericht f\u00fcr das Jahr\r\n' + '\u2550' * 30 +
       '\r\n  \u00c4nderungen: keine   ' + '\u2500' * 10 + '\r\n  Ort: M\u00fcnchen\r\n')
open(out + '/text/de-cp437-box.txt', 'wb').write(box.encode('cp437'))
open(out + '/text/de-1252-groups.txt', 'wb').write(
    'Die Werte lassen sich auch später ändern, siehe dazu den Abschnitt unten.\n'.encode('cp1252'))
PY
check "$OUT/bad/cut-42.wp" Flussufer
row bad/cut-42.wp 2 -
# libwpd's own test takes the Latin-1 text for WordPerfect 4.2.
check "$OUT/text/fr-latin1-pairs.txt" quartier
row text/fr-latin1-pairs.txt 2 -
row text/de-cp437-box.txt 2 -
row text/de-1252-groups.txt 2 -
