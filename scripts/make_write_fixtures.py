#!/usr/bin/env python3
"""Makes the Microsoft Write, Word for DOS and Pocket Word samples of
tests/data/dxfilter/write/ and prints their rows of formats.tsv
(make_filter_fixtures.sh appends them to the table).

Both programs write the same kind of file, in 128-byte pages: a header page
(the identification word 0xBE31, or 0xBE32 for a Write file with OLE
objects, a zero word, the tool word 0xAB00, four zero words, then `fcMac`,
the end of the text, and the page numbers of the tables after it), the text
from byte 128 to `fcMac`, then the character property pages (from the page
after the text), the paragraph property pages (at `pnPara`) and the other
tables. A property page opens with the first run's start and lists each
run's end (4 bytes) and the offset of its properties (2 bytes; past the
page for the defaults), which lie further down the page as a length byte
and that many bytes; the page's last byte counts the runs. Write keeps the
number of pages in the file at byte 96 and its font names in a table of
their own (`pnFfntb`: a count, then per font its length, family and name);
Word for DOS leaves byte 96 zero and keeps the page count at byte 106, its
version at 116 and the file's DOS code page at 126.

  de.wri            a Write 3 document in German (code page 1252): a bold
                    centred title, two paragraphs, one word in italics, a
                    font table (Arial, Times New Roman)
  es.wri            a Write document in Spanish under the identification
                    word of a Write file with OLE objects (none here) and
                    without a font table
  fr-dos.doc        a Word 5 for DOS document in French, code page 850: a
                    bold title, an underlined word
  de-dos.doc        a Word 4 for DOS document in German, code page 850
  de.wri.gz         de.wri in a gzip stream without name or time
  bad/no-runs.wri   de.wri whose paragraph property page holds no run:
                    recognised, libwps reads no text
  bad/autosave.doc  fr-dos.doc marked as an automatic save (which libwps
                    refuses): recognised, no text
  bad/cut.wri       de.wri cut inside its text: its header names text past
                    the file's end, so it is not taken for Write
  bad/pages.wri     de.wri with a page count past the file's end
  bad/huge.doc      fr-dos.doc whose text ends at 2 GiB
  other/tool.wri    de.wri with another tool word
  other/reserved.wri de.wri with a reserved word set
  other/early.doc   fr-dos.doc whose paragraph pages begin inside its text
  it.psw            a Pocket Word document in Italian (code page 1252): a
                    bold centred title, two paragraphs, one word in italics
  it.psw.gz         it.psw in a gzip stream without name or time
  bad/no-list.psw   it.psw without its paragraph list: recognised, no text
  bad/cut.psw       it.psw cut inside its last paragraph: that zone ends
                    past the file's end, so it is not taken for Pocket Word
  other/version.psw it.psw under a version Pocket Word does not write (8)

libmagic takes the two look-alikes of Word for DOS for Word documents (309),
whose reader refuses them, as it took every Word for DOS file before.

Pocket Word writes a 14-byte header (`{\\pwi`, 0x15, two zero bytes, 1 and
1, the version word, a zero word) and zones, each a type, an identifier and
its length in 4-byte units: the font names (type 0), the paragraph list
(type 64: six words, then per paragraph its line and character counts and
its zone's identifier) and a zone per paragraph (type 65: the counts, the
alignment, then the text in code page 1252, where a byte of the codes below
is written behind 0xC1, 0xE8 and a word set the weight, 0xE9 and a byte
italics, and 0xC4 0 ends it).

The sentences are the project's own; the files carry no time, so two runs
write the same bytes. When libwps-tools is installed, `wps2text` must read
each document's paragraphs as written.
"""
import gzip
import os
import shutil
import struct
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "write")
PAGE = 128

# A document: its title and paragraphs; a paragraph is the text before the
# marked word, the word and the text after it (None for no marked word).
PROSE = {
    "de": ("Die Bibliothek am Fluss",
           [("Jeden Dienstag öffnet die kleine Bibliothek am Fluss ihre Türen, und die ",
             "Leserinnen",
             " bringen Körbe voller Bücher zurück. Die Bibliothekarin grüßt jeden mit Namen "
             "und stempelt die Karten."),
            ("Im Winter heizt ein alter Ofen den Lesesaal, während draußen der Schnee auf "
             "die Brücke fällt. Kinder blättern in Märchenbüchern, und die Großväter lesen "
             "die Zeitung von gestern.", None, None)]),
    "es": ("La biblioteca junto al río",
           [("Cada martes la pequeña biblioteca junto al río abre sus puertas, y las ",
             "lectoras",
             " devuelven cestas llenas de libros. La bibliotecaria saluda a todos por su "
             "nombre y sella las tarjetas."),
            ("En invierno una vieja estufa calienta la sala de lectura, mientras afuera la "
             "nieve cae sobre el puente. Los niños hojean cuentos y los abuelos leen el "
             "periódico de ayer.", None, None)]),
    "fr": ("La bibliothèque au bord de l'eau",
           [("Chaque mardi, la petite bibliothèque au bord de la rivière ouvre ses portes "
             "et les ",
             "lectrices",
             " rapportent des paniers pleins de livres. La bibliothécaire salue chacun par "
             "son nom et tamponne les cartes."),
            ("En hiver, un vieux poêle chauffe la salle de lecture pendant que la neige "
             "tombe sur le pont. Les enfants feuillettent des contes et les grands-pères "
             "lisent le journal de la veille.", None, None)]),
    "de-dos": ("Der Winter im Dorf",
               [("Wenn der erste Schnee fällt, holen die Nachbarn ihre Schlitten aus dem "
                 "Schuppen und fahren den Hügel hinter der Kirche hinunter. Danach trinken "
                 "alle heißen Tee in der Küche der Bäckerin.", None, None),
                ("Am Abend zählen die Kinder die Sterne über dem Teich, und die Älteren "
                 "erzählen Geschichten von früheren Wintern.", None, None)]),
}
PROSE["it"] = ("La biblioteca sul fiume",
               [("Ogni martedì la piccola biblioteca sul fiume apre le porte e le ", "lettrici",
                 " riportano cesti pieni di libri. La bibliotecaria saluta tutti per nome e "
                 "timbra le tessere."),
                ("D'inverno una vecchia stufa scalda la sala di lettura, mentre fuori la neve "
                 "cade sul ponte. I bambini sfogliano le fiabe e i nonni leggono il giornale "
                 "di ieri. Perché no?", None, None)])
WORDS = {"de": "Leserinnen", "es": "lectoras", "fr": "lectrices", "de-dos": "Schlitten",
         "it": "lettrici"}


def paragraphs(prose):
    title, body = prose
    return [title] + ["".join(p for p in para if p) for para in body]


def property_page(first, runs):
    """A property page: `runs` (end, properties or None for the defaults)
    from `first` on."""
    page = bytearray(PAGE)
    struct.pack_into("<I", page, 0, first)
    place, props = PAGE - 1, {}
    for n, (end, prop) in enumerate(runs):
        offset = 0xFFFF
        if prop is not None:
            if prop not in props:
                place -= 1 + len(prop)
                page[place:place + 1 + len(prop)] = bytes([len(prop)]) + prop
                props[prop] = place - 4  # counted from the first run's start
            offset = props[prop]
        struct.pack_into("<IH", page, 4 + 6 * n, end, offset)
    assert 4 + 6 * len(runs) <= place
    page[PAGE - 1] = len(runs)
    return bytes(page)


def document(prose, encoding, dos, marked, title_para, fonts=None, ident=0xBE31, version=4,
             codepage=850):
    """A Write (or, with `dos`, Word for DOS) file of `prose` in `encoding`:
    the title in bold in a paragraph of its own (`title_para`, its
    paragraph properties), the marked word with the character properties
    `marked`; `fonts` the names of Write's font table (None for no table)."""
    text, char_runs, para_runs = bytearray(), [], []
    plain = None

    def add(piece, chp):
        text.extend(piece.encode(encoding))
        char_runs.append((PAGE + len(text), chp))

    # Character properties: Write's first byte is 1, Word's the style (0);
    # then bit 0 bold, bit 1 italic, the font above them; twice the size.
    bold = bytes([0 if dos else 1, 0x01, 28])
    add(prose[0] + "\r\n", bold)
    para_runs.append((PAGE + len(text), title_para))
    for before, word, after in prose[1]:
        add(before, plain)
        if word:
            add(word, marked)
            add(after, plain)
        add("\r\n", plain)
        para_runs.append((PAGE + len(text), None))
    fc_mac = PAGE + len(text)

    pages = bytearray(text)
    pages.extend(bytes(-len(pages) % PAGE))
    pn_chars = (fc_mac + PAGE - 1) // PAGE
    pages += property_page(PAGE, char_runs)
    pn_para = pn_chars + 1
    pages += property_page(PAGE, para_runs)
    pn_next = pn_para + 1
    if fonts:
        table = struct.pack("<H", len(fonts))
        for family, name in fonts:
            raw = name.encode("ascii") + b"\0"
            table += struct.pack("<HB", 1 + len(raw), family) + raw
        table += struct.pack("<H", 0)
        pages += table + bytes(PAGE - len(table))
    pn_mac = 1 + len(pages) // PAGE

    header = bytearray(PAGE)
    struct.pack_into("<HHH", header, 0, ident, 0, 0xAB00)
    struct.pack_into("<I", header, 14, fc_mac)
    if dos:
        # The footnote, bookmark, section, section property and summary
        # tables: none, each at the end of the file.
        struct.pack_into("<6H", header, 18, pn_para, *[pn_mac] * 5)
        struct.pack_into("<H", header, 106, pn_mac)
        header[116] = version  # 4: Word 5, 0: Word 4 or earlier
        struct.pack_into("<H", header, 126, codepage)
    else:
        # No footnote, section or section property table; the font table
        # (or, without one, the end of the file).
        struct.pack_into("<6H", header, 18, pn_para, pn_next, pn_next, pn_next, pn_next,
                         pn_next if fonts else pn_mac)
        struct.pack_into("<H", header, 96, pn_mac)
    data = bytes(header + pages)
    assert len(data) == pn_mac * PAGE
    return data


# Bytes that open a code in Pocket Word's text.
POCKET_CODES = {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xEF}


def pocket_word(prose, version=6, paragraph_list=True):
    """A Pocket Word document of `prose`: the title bold and centred, the
    marked word in italics."""
    def zone(kind, ident, data):
        data += bytes(-len(data) % 4)
        return struct.pack("<HHH", kind, ident, len(data) // 4) + data

    def text(piece):
        out = bytearray()
        for b in piece.encode("cp1252"):
            out += bytes([0xC1, b]) if b in POCKET_CODES else bytes([b])
        return bytes(out)

    # One font (its identifier, then UTF-16 name in 64 bytes).
    name = "Tahoma".encode("utf-16-le")
    fonts = struct.pack("<8H", 0, 0xA, 1, 0, 0, 0, 0, 0) + struct.pack("<8H", 1, 1, *[0] * 6)
    fonts += name + bytes(64 - len(name))
    paragraphs, entries = b"", b""
    body = [(b"\xe8\x07\x00" + text(prose[0]) + b"\xe8\x04\x00", len(prose[0]), 2)]
    for before, word, after in prose[1]:
        chars = text(before)
        if word:
            chars += b"\xe9\x01" + text(word) + b"\xe9\x00" + text(after)
        body.append((chars, len(before + (word or "") + (after or "")), 0))
    for n, (chars, count, align) in enumerate(body):
        ident = 10 + n
        # The counts, one line, no dimensions, no indents, the alignment.
        head = struct.pack("<HHHhH4HBB2H", count, len(chars), 1, -1, 0, 0, 0, 0, 0, 0, align, 0, 0)
        paragraphs += zone(65, ident, head + chars + b"\xc4\x00")
        entries += struct.pack("<4H", 1, count, ident, 0)
    header = b"{\\pwi\x15\x00\x00" + struct.pack("<3H", 0x101, version, 0)
    listed = zone(64, 2, bytes(24) + entries) if paragraph_list else b""
    return header + zone(0, 1, fonts) + listed + paragraphs


class Samples:
    """The samples written so far, as rows of formats.tsv."""

    def __init__(self):
        self.rows = []

    def __call__(self, name, data, code, word):
        path = os.path.join(OUT, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        self.rows.append((name, code, word))


def changed(data, at, fmt, *values):
    """`data` with `values` packed by `fmt` at `at`."""
    out = bytearray(data)
    struct.pack_into(fmt, out, at, *values)
    return bytes(out)


def main():
    write = Samples()

    centred = bytes([0, 1])  # Write's first byte 0, then the justification
    italic = bytes([1, 0x02 | 1 << 2, 24])  # the second font, Times New Roman
    de = document(PROSE["de"], "cp1252", False, italic, centred,
                  fonts=[(0x20, "Arial"), (0x10, "Times New Roman")])
    write("de.wri", de, 365, WORDS["de"])
    write("es.wri", document(PROSE["es"], "cp1252", False, bytes([1, 0x02, 24]), centred,
                             ident=0xBE32), 365, WORDS["es"])
    # Word's character properties: the style, the flags, the size, then the
    # underline (bit 0).
    underlined = bytes([0, 0, 24, 1])
    fr = document(PROSE["fr"], "cp850", True, underlined, centred)
    write("fr-dos.doc", fr, 365, WORDS["fr"])
    write("de-dos.doc", document(PROSE["de-dos"], "cp850", True, underlined, centred,
                                 version=0), 365, WORDS["de-dos"])
    write("de.wri.gz", gzip.compress(de, 9, mtime=0), 347, WORDS["de"])

    pn_para = struct.unpack_from("<H", de, 18)[0]
    no_runs = bytearray(de)
    no_runs[pn_para * PAGE + PAGE - 1] = 0
    write("bad/no-runs.wri", bytes(no_runs), 365, "-")
    write("bad/autosave.doc", changed(fr, 117, "<B", 2), 365, "-")
    write("bad/cut.wri", de[:PAGE + 200], 346, "-")
    write("bad/pages.wri", changed(de, 96, "<H", len(de) // PAGE + 1), 346, "-")
    write("bad/huge.doc", changed(fr, 14, "<I", 0x80000000), 309, "-")
    write("other/tool.wri", changed(de, 4, "<H", 0xAB01), 346, "-")
    write("other/reserved.wri", changed(de, 8, "<H", 1), 346, "-")
    write("other/early.doc", changed(fr, 18, "<H", 1), 309, "-")

    it = pocket_word(PROSE["it"])
    write("it.psw", it, 366, WORDS["it"])
    write("it.psw.gz", gzip.compress(it, 9, mtime=0), 347, WORDS["it"])
    write("bad/no-list.psw", pocket_word(PROSE["it"], paragraph_list=False), 366, "-")
    write("bad/cut.psw", it[:-20], 346, "-")
    write("other/version.psw", pocket_word(PROSE["it"], version=8), 346, "-")

    # libwps's own converter reads each document's paragraphs as written.
    if shutil.which("wps2text"):
        for name, lang in (("de.wri", "de"), ("es.wri", "es"), ("fr-dos.doc", "fr"),
                           ("de-dos.doc", "de-dos"), ("it.psw", "it")):
            got = subprocess.run(["wps2text", os.path.join(OUT, name)], capture_output=True,
                                 check=True).stdout.decode()
            if got.splitlines() != paragraphs(PROSE[lang]):
                sys.exit("wps2text reads %s otherwise:\n%s" % (name, got))

    for name, code, word in write.rows:
        print("write/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
