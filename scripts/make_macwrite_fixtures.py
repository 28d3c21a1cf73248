#!/usr/bin/env python3
"""Makes the MacWrite samples of tests/data/dxfilter/macwrite/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the
table).

A MacWrite 4.5 or 5.0 document (the data fork; the resource fork and the
Finder's type are not needed) is, big-endian:

  0x000  the header: the version word 6; the number of paragraphs of the
         main text, the header and the footer; a byte (0xFF: no header and
         footer on the first page), seven more; the first page number; the
         free list's offset (32 bits), length and allocated length; 14
         unused bytes
  0x028  the print record (Apple's TPrint, 120 bytes): its version, the
         printer's resolution and page rectangle, the paper rectangle ...
  0x0A0  three windows of 46 bytes, the footer's, the header's and the main
         text's: the selection (8), the top line, a word, the offset (32
         bits) and length of the paragraph table, the offset and length of
         the line heights, where the page number, date and time stand (12),
         eight more bytes
  then   each window's tables and the paragraphs' data

The paragraph table has 16 bytes per paragraph: its height (0 for a ruler,
more for text, less for a picture), its top, its page, three unused bytes,
a status byte (0x08: the text is compressed), the offset of its data (24
bits) and its length, and its font word. The line heights: per paragraph a
length word, that many heights, a byte to an even length. A ruler's data
(34 bytes): margins, alignment, tab count, spacing, indent, ten tabs. A
text's data: a length word, the characters (Mac OS Roman, a carriage return
ending the paragraph; compressed, two letters of " etnroaisdlhcfp" to a
byte, 0xF and the character's two nibbles for any other), a byte to an even
offset, then the length of the style runs (6 bytes each: where the run
starts, the size, the style bits, the font). The free list (offset and
length pairs) comes last.

MacWrite 1 to 2.2 wrote a shorter layout: a 20-byte header (the version
word 3, the offset of the paragraphs' data, the three counts, ten more
bytes), the print record, three windows of 34 bytes, a table of 8 bytes per
paragraph (its height: 0 for a ruler; its top, its page, three bytes), then
at the data offset each paragraph's type (0 a ruler, 1 text), length and
data, as above but never packed.

  en.mcw            English: a ruler, a heading and three paragraphs
  fr.mcw            French, its paragraphs compressed as MacWrite 5 wrote them
  de.mcw            German: umlauts and ß, a paragraph on a second page
  es.mcw            Spanish, with a tab and a bold run
  it-2.mcw          Italian, in MacWrite 2's layout
  bad/cut.mcw       en.mcw cut in the middle of its paragraphs: its free list
                    is gone, which libmwaw looks for (recognised, refused)
  bad/huge.mcw      en.mcw whose paragraphs each claim 64 KiB of text
                    (recognised, no text)
  bad/long.mcw      1800 packed paragraphs of 300 letters (recognised, the
                    text stops at the cap)
  other/version.bin en.mcw with the version word 5 (not MacWrite, 346)
  other/table.bin   en.mcw whose paragraph table does not match the count of
                    paragraphs (346)

Each sample's text is checked against what libmwaw's mwaw2text reads (when
it is installed): the script stops when they differ. Two runs write the same
bytes.
"""
import os
import shutil
import struct
import subprocess
import sys

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "dxfilter",
                   "macwrite")

VERSION = 6
HEADER_BYTES = 0x28
PRINT_BYTES = 0x78
WINDOW_BYTES = 46
TABLES = HEADER_BYTES + PRINT_BYTES + 3 * WINDOW_BYTES
EARLY_HEADER_BYTES = 20
EARLY_WINDOW_BYTES = 34
EARLY_TABLES = EARLY_HEADER_BYTES + PRINT_BYTES + 3 * EARLY_WINDOW_BYTES
COMPRESSED = " etnroaisdlhcfp"
GENEVA, TIMES = 3, 20


def u8(v):
    return struct.pack(">B", v)


def u16(v):
    return struct.pack(">H", v)


def i16(v):
    return struct.pack(">h", v)


def u32(v):
    return struct.pack(">I", v)


EN = [
    ("The Orchard Lane Choir", 0),
    ("Rehearsals start again on the first Tuesday of September in the village hall. "
     "New singers are welcome, and nobody has to read music to join us.", 0),
    ("This autumn we are learning old harvest songs from the valley, and we hope to sing "
     "them at the market in October.", 0),
    ("Tea and biscuits are served after every rehearsal; please bring your own cup.", 0),
]
FR = [
    ("La bibliothèque du quartier", 0),
    ("Depuis le mois de mars, la bibliothèque ouvre aussi le mercredi après-midi pour "
     "les enfants et leurs parents.", 0),
    ("Les livres empruntés doivent être rendus au bout de trois semaines ; on peut les "
     "prolonger une fois au comptoir.", 0),
]
DE = [
    ("Neues aus dem Heimatverein", 0),
    ("Am Samstag treffen sich die Mitglieder zum Frühjahrsputz an der alten Mühle. "
     "Handschuhe und Rechen liegen bereit.", 0),
    ("Nach der Arbeit gibt es Kaffee und Kuchen im Gasthaus zur Post; für die Kinder "
     "ist ein kleines Fußballspiel geplant.", 1),
]
ES = [
    ("Club de lectura del barrio", 0),
    ("Este mes leemos una novela sobre un pueblo de pescadores en la costa de Galicia.", 0),
    ("Reunión:\tel jueves a las siete, en la cafetería de la plaza. Trae tu ejemplar y "
     "un amigo, si quieres.", 0),
]

IT = [
    ("Notizie dalla biblioteca", 0),
    ("Da lunedì la biblioteca comunale resta aperta fino alle sette di sera, così anche "
     "chi lavora può passare a prendere un libro.", 0),
    ("Sabato mattina i bambini ascolteranno una storia sul mare e disegneranno le barche "
     "dei pescatori.", 0),
]


def compress(text):
    """MacWrite's packing of a paragraph's characters: a nibble for each of
    the fifteen letters it knows, 0xF and two nibbles for any other."""
    nibbles = []
    for byte in text:
        at = COMPRESSED.find(chr(byte)) if byte < 0x80 else -1
        nibbles += [at] if at >= 0 else [0xF, byte >> 4, byte & 0xF]
    if len(nibbles) % 2:
        nibbles.append(0)
    return bytes(nibbles[k] << 4 | nibbles[k + 1] for k in range(0, len(nibbles), 2))


def text_data(chars, packed, runs):
    """A text paragraph's data: its characters, then its style runs."""
    body = u16(len(chars)) + (compress(chars) if packed else chars)
    if len(body) % 2:
        body += b"\0"
    styles = b"".join(u16(at) + u8(size) + u8(style) + u16(font) for at, size, style, font in runs)
    return body + u16(len(styles)) + styles


def ruler():
    """A ruler: margins at 0 and 6.5 inches (in 1/80 inch), left aligned,
    two tabs, single spacing."""
    return (i16(0) + i16(520) + u8(0) + u8(2) + u8(0) + u8(0) + i16(0)
            + b"".join(i16(v) for v in (72, 216)) + bytes(16) + bytes(4))


def print_record():
    """Apple's print record for a US Letter page at 72 dpi."""
    info = i16(0) + i16(72) + i16(72) + i16(0) + i16(0) + i16(730) + i16(552)
    paper = i16(-18) + i16(-30) + i16(774) + i16(582)
    style = i16(0) + i16(11) + i16(8) + u8(0) + u8(0)
    job = i16(1) + i16(9999) + i16(1) + u8(0) + u8(0) + u32(0) + u32(0) + i16(0) + u8(0) + u8(0)
    record = i16(3) + info + paper + style + info + bytes(16) + job + bytes(38)
    assert len(record) == PRINT_BYTES
    return record


def window(table=0, table_bytes=0, heights=0, heights_bytes=0):
    """A window's 46 bytes: no selection, its tables, no page number, date
    or time."""
    return (bytes(8) + i16(0) + bytes(2) + u32(table) + u16(table_bytes) + u32(heights)
            + u16(heights_bytes) + i16(-1) * 6 + bytes(4) + bytes(2) + i16(0) + i16(GENEVA))


def document(paragraphs, packed=False, bold=None, version=VERSION, claimed=None, table_shift=0):
    """A MacWrite document of a ruler and `paragraphs` (text, page): its
    bytes and the lines libmwaw reads of it."""
    datas = [(0, 0, ruler(), 0)]
    lines = []
    for text, page in paragraphs:
        chars = (text + "\r").encode("mac_roman")
        runs = [(0, 12, 0, TIMES)]
        if bold and bold in text:
            at = len(text[:text.index(bold)].encode("mac_roman"))
            runs = [(0, 12, 0, TIMES), (at, 12, 1, TIMES),
                    (at + len(bold.encode("mac_roman")), 12, 0, TIMES)]
        data = text_data(chars, packed, runs)
        if claimed:
            data = u16(claimed) + data[2:]
        datas.append((16, page, data, 0x08 if packed else 0))
        lines.append(text)
    count = len(datas)
    table_offset = TABLES
    heights_offset = table_offset + 16 * count
    heights = b""
    for height, _, _, _ in datas:
        heights += u16(1) + u8(height or 16) + b"\0"
    data_offset = heights_offset + len(heights)
    table, blob, y, last_page = b"", b"", 0, 0
    for height, page, data, status in datas:
        y, last_page = (y if page == last_page else 0), page
        at = data_offset + len(blob)
        table += (i16(height) + i16(y) + u8(page) + bytes(3) + u8(status) + u8(at >> 16)
                  + u16(at & 0xFFFF) + u16(len(data)) + u16(3 << 8 | GENEVA << 11))
        y += height
        blob += data
    free_list = data_offset + len(blob)
    header = (u16(version) + i16(count + table_shift) + i16(0) + i16(0) + u8(0) + bytes(7) + i16(1)
              + u32(free_list) + u16(8) + u16(8) + bytes(14))
    windows = (window() + window()
               + window(table_offset, len(table), heights_offset, len(heights)))
    out = header + print_record() + windows + table + heights + blob + u32(free_list + 8) + u32(0)
    assert len(header) == HEADER_BYTES and len(windows) == 3 * WINDOW_BYTES
    return out, lines


def early_document(paragraphs):
    """A MacWrite 1 to 2.2 document of a ruler and `paragraphs` (text, page):
    its bytes and the lines libmwaw reads of it."""
    datas = [(0, 0, ruler())]
    for text, page in paragraphs:
        chars = (text + "\r").encode("mac_roman")
        datas.append((1, page, text_data(chars, False, [(0, 12, 0, TIMES)])))
    count = len(datas)
    data_offset = EARLY_TABLES + 8 * count
    header = u16(3) + u16(data_offset) + i16(count) + i16(0) + i16(0) + bytes(6) + bytes(2) + i16(1)
    windows = (bytes(12) + i16(-1) * 6 + b"\xFF" * 5 + bytes(1) + u8(GENEVA) + bytes(3)) * 3
    table, blob, y, last_page = b"", b"", 0, 0
    for kind, page, data in datas:
        y, last_page = (y if page == last_page else 0), page
        height = 16 if kind == 1 else 0
        table += i16(height) + i16(y) + u8(page) + u16(0) + u8(0)
        y += height
        blob += i16(kind) + i16(len(data)) + data
    out = header + print_record() + windows + table + blob
    assert len(header) == EARLY_HEADER_BYTES and len(windows) == 3 * EARLY_WINDOW_BYTES
    return out, [text for text, _ in paragraphs]


def read_text(path):
    """The text mwaw2text reads of `path`, a line per paragraph; None without
    it."""
    tool = shutil.which("mwaw2text")
    if not tool:
        return None
    out = subprocess.run([tool, path], capture_output=True, check=True).stdout.decode("utf-8")
    return [line for line in out.split("\n") if line]


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(os.path.join(OUT, "other"), exist_ok=True)
    en, en_lines = document(EN)
    fr, fr_lines = document(FR, packed=True)
    de, de_lines = document(DE)
    es, es_lines = document(ES, bold="el jueves")
    it, it_lines = early_document(IT)
    # Only letters MacWrite packs two to a byte.
    sentence = "the rain falls on the old stone road near the pond "
    long_doc = document([(sentence * 6, k // 30) for k in range(1800)], packed=True)[0]
    samples = [
        ("en.mcw", en, 372, "rehearsal"),
        ("fr.mcw", fr, 372, "bibliothèque"),
        ("de.mcw", de, 372, "Mühle"),
        ("es.mcw", es, 372, "cafetería"),
        ("it-2.mcw", it, 372, "biblioteca"),
        ("bad/cut.mcw", en[:len(en) - 200], 372, "-"),
        ("bad/huge.mcw", document(EN, claimed=0xFFFF)[0], 372, "-"),
        ("bad/long.mcw", long_doc, 372, "pond"),
        ("other/version.bin", document(EN, version=5)[0], 346, "-"),
        ("other/table.bin", document(EN, table_shift=1)[0], 346, "-"),
    ]
    for name, data, _, _ in samples:
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    # What libmwaw reads of the documents is what they were written with.
    for name, lines in (("en", en_lines), ("fr", fr_lines), ("de", de_lines), ("es", es_lines),
                        ("it-2", it_lines)):
        read = read_text(os.path.join(OUT, name + ".mcw"))
        if read is not None and read != lines:
            sys.exit("mwaw2text reads %s.mcw otherwise: %r" % (name, read))
    for name, _, code, word in samples:
        print("macwrite/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
