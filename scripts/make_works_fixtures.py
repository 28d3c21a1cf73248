#!/usr/bin/env python3
"""Makes the Lotus 1-2-3, Quattro Pro and Microsoft Works samples of
tests/data/dxfilter/works/ and prints their rows of formats.tsv
(make_filter_fixtures.sh appends them to the table). Each file is written
record by record: a record is a type and a length (16 bits each,
little-endian) and the bytes that follow; a file opens with the
beginning-of-file record (type 0, its version word) and ends with the
end-of-file record (type 1, empty).

  de.wps            a Works 4 for Windows word processor document: a compound
                    file whose root `MN0` stream holds a 256-byte header (the
                    version byte 6 and 0xFE, the limits of the header,
                    footer and main text, the stream's length and the
                    places of its tables, the page), the text at 0x100 in
                    code page 1252 (paragraphs end with CR LF), then its
                    character and paragraph property pages (128 bytes each,
                    on 128-byte boundaries: the run starts, the end of the
                    text, each run's property offset, the properties, the
                    run count in the last byte), the font names and the two
                    tables that point to the property pages: a bold
                    centred title, two paragraphs with one italic word
  fr.wps            a Works 8 word processor document: a compound file whose
                    root `CONTENTS` stream opens with `CHNKWKS `, the count
                    of its chunks and, at 0x18, their index (a block: its
                    entry size, entry count and the next block, none; each
                    entry 24 bytes: its size, the chunk's name, number and
                    type, its offset and length); the chunks the text needs:
                    TEXT (UTF-16LE, paragraphs end with CR) and FONT (the
                    font names); no property pages, so the text is in the
                    default font. Works writes longer `CONTENTS` streams
                    than the mini stream holds (its style sheet and
                    property pages alone); zero bytes after the chunks stand
                    for those left out
  bad/cut.wps       de.wps whose `MN0` stream is cut inside its second
                    paragraph (the header still tells the whole text):
                    recognised, no text
  bad/bare.wps      de.wps's stream cut after its text: no property pages,
                    font names or tables, the text in the default font
  de.wk1            a Lotus 1-2-3 release 2 worksheet (version 0x0406): the
                    active range, calculation mode and order, label cells (type 0x0F: a format byte, the
                    column and row, the label's alignment prefix and its
                    bytes ended by a zero byte) in code page 850, and a
                    number cell (type 0x0D, an integer), two columns
  fr.wks            a Works for DOS spreadsheet (version 0x0404, the records
                    of Lotus 1-2-3 release 1A), French labels in code page 850
  es.wq1            a Quattro Pro for DOS notebook (version 0x5120): its label
                    cells hold a format byte, the column, the page and the
                    row, the alignment prefix and a string with a length byte
  empty.wk1         a worksheet without cells
  bad/cut.wk1       de.wk1 cut inside its second row's first label: the
                    first row's text
  bad/password.wk1  de.wk1 with the password record of a protected worksheet
                    (type 0x4B) after its beginning-of-file record
  bad/release3.wk3  the 26-byte beginning-of-file record of Lotus 1-2-3
                    release 3 (version 0x1000) over nothing that release
                    writes: recognised, no text
  bad/mn0.wps       a compound file whose root holds an `MN0` stream (a Works
                    for Windows document's) of zero bytes: recognised, no text
  other/version.wk1 de.wk1 with a version word no program writes (0x0407):
                    not a worksheet
  other/cursor.cur  a Windows cursor (its header opens like a worksheet's
                    beginning-of-file record, with an image count of 1)
  other/long.wk1    de.wk1's first record followed by one longer than the file
  de.wk1.gz         de.wk1 in a gzip stream without name or time
  dos-fr.wps        a Works for DOS word processor document: the stream of
                    de.wps as a file of its own, with the version byte 1
                    and French text in code page 850
  win3-de.wps       the same under the version byte 4 of Works 3 for
                    Windows, de.wps's text in code page 1252
  bad/dos-bare.wps  dos-fr.wps cut after its text: the text in the default
                    font
  bad/dos-cut.wps   dos-fr.wps cut inside its second paragraph: its header
                    names text beyond the file's end, so it is not taken
                    for a Works document
  other/limits.wps  dos-fr.wps whose main text ends one byte past the file

Code page 850 is what libwps takes for DOS files that name none, code page
1252 for Works 3 and 4 for Windows documents. The sentences are the
project's own; the files carry no time, so two runs write the same bytes
(the gzip stream has no name and a zero time). When libwps-tools is
installed, `wps2text` must read each document's paragraphs as written.
"""
import gzip
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import cfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "works")

TEXTS = {
    "de": [("Der Wochenmarkt", "Samstag"),
           ("Auf dem Marktplatz verkaufen die Bäuerinnen Äpfel, Käse und frische Kräuter.",
            "Die Kinder laufen zwischen den Ständen und probieren süße Birnen."),
           ("Gegen Mittag räumen die Händler ihre Tische und fahren über die Brücke heim.",
            None)],
    "fr": [("Le marché du samedi", "Printemps"),
           ("Sur la place, les fermières vendent des pommes, du fromage et des herbes fraîches.",
            "Les enfants courent entre les étals et goûtent les poires sucrées."),
           ("Vers midi, les marchands rangent leurs tables et rentrent à la ferme.", None)],
    "es": [("El mercado del sábado", "Primavera"),
           ("En la plaza, las campesinas venden manzanas, queso y hierbas frescas.",
            "Los niños corren entre los puestos y prueban las peras dulces."),
           ("Al mediodía, los comerciantes recogen sus mesas y vuelven al pueblo.", None)],
}
WORDS = {"de": "Bäuerinnen", "fr": "fermières", "es": "campesinas"}
YEAR = 1994  # a number cell beside the first row's labels


# The word processor document: a title and two paragraphs, one word of the
# first in italics (title, before, italic word, after).
PROSE = {
    "title": "Ein Herbsttag an der Fähre",
    "body": [("Am frühen Morgen liegt Nebel über den Wiesen, und die Fähre wartet ",
              "still",
              " am Ufer. Der Fährmann öffnet die Tür seines Häuschens, grüßt die ersten "
              "Pendler und zählt die Münzen für die Überfahrt."),
             ("Gegen Mittag wird es wärmer. Kinder werfen flache Steine ins Wasser, "
              "während ihre Großmütter auf der Bank sitzen und über das Wetter, die Äpfel "
              "im Garten und die nächste Woche sprechen. „Morgen regnet es“, sagt eine von "
              "ihnen, und alle nicken.", None, None)],
}
# The Works for DOS document: French in code page 850 (which lacks the
# curly quotation marks and the ligature).
PROSE_DOS = {
    "title": "Une matinée au marché",
    "body": [("Le samedi, les maraîchers arrivent avant l'aube et dressent leurs étals ",
              "devant",
              " la mairie. On y trouve des légumes frais, du miel, des fromages de chèvre "
              "et des fleurs coupées."),
             ("Vers dix heures, la place est pleine : les enfants goûtent les fraises, "
              "les voisins échangent les nouvelles du quartier et le boulanger "
              "vend ses dernières baguettes.", None, None)],
}
TEXT_START = 0x100  # the text follows the header
PAGE = 0x80  # a property page
FONTS = [(0, "Times New Roman"), (1, "Arial")]
# Character properties: the flags (1 bold, 2 italic), which fields are set
# (8 the font, 0x10 the size), the font, the underline, twice the size.
BODY_FONT = bytes([0x00, 0x18, 0x00, 0x00, 24])
TITLE_FONT = bytes([0x01, 0x18, 0x01, 0x00, 28])
ITALIC_FONT = bytes([0x02, 0x18, 0x00, 0x00, 24])
CENTRED = bytes([0, 0, 0, 0x05, 0x01])  # three unknown bytes, justification 1


def property_page(runs, end):
    """A 128-byte property page: `runs` (start, properties or None for the
    defaults) up to `end`."""
    page = bytearray(PAGE)
    starts = [start for start, _ in runs] + [end]
    struct.pack_into("<%dI" % len(starts), page, 0, *starts)
    offsets, place, props = [], PAGE - 1, {}
    for _, prop in runs:
        if prop is None:
            offsets.append(0)
            continue
        if prop not in props:
            place -= 1 + len(prop)
            page[place:place + 1 + len(prop)] = bytes([len(prop)]) + prop
            props[prop] = place
        offsets.append(props[prop])
    table = 4 * len(starts)
    assert table + len(offsets) <= min(props.values(), default=PAGE - 1)
    page[table:table + len(offsets)] = bytes(offsets)
    page[PAGE - 1] = len(runs)
    return bytes(page)


def works4_document(prose=PROSE, encoding="cp1252", version=b"\x06\xfe\x75\x53"):
    """The `MN0` stream of a Works 4 word processor document, and where its
    paragraphs start in it; `prose` in `encoding` under the header's first
    bytes `version` (the version byte, 0xFE, the creator word), the same
    stream as a file for Works for DOS and Works 3 for Windows."""
    text, char_runs, para_runs, starts = bytearray(), [], [], []

    def add(piece, font):
        char_runs.append((TEXT_START + len(text), font))
        text.extend(piece.encode(encoding))

    starts.append(TEXT_START)
    para_runs.append((TEXT_START, CENTRED))
    add(prose["title"] + "\r\n", TITLE_FONT)
    para_runs.append((TEXT_START + len(text), None))
    for before, word, after in prose["body"]:
        starts.append(TEXT_START + len(text))
        add(before, BODY_FONT)
        if word:
            add(word, ITALIC_FONT)
            add(after, BODY_FONT)
        text.extend(b"\r\n")
    end = TEXT_START + len(text)

    # The property pages follow the text, each on a page boundary; then the
    # font names and the tables that point to the pages (text start, text
    # end, the page's number in 128-byte units).
    chars_at = (end + PAGE - 1) // PAGE * PAGE
    paras_at = chars_at + PAGE
    fonts_at = paras_at + PAGE
    fonts = b"".join(bytes([n, 0, len(name)]) + name.encode("ascii") for n, name in FONTS)
    btec_at = fonts_at + len(fonts)
    btec = struct.pack("<IIH", TEXT_START, end, chars_at // PAGE)
    btep_at = btec_at + len(btec)
    btep = struct.pack("<IIH", TEXT_START, end, paras_at // PAGE)
    size = btep_at + len(btep)

    def entry(at, data):
        return struct.pack("<IH", at, len(data))

    header = bytearray(TEXT_START)
    header[0:4] = version  # 6 (Works 4), 0xFE, its creator word
    # The limits of the header, footer and main text (neither header nor
    # footer), the stream's length, then the tables: character and
    # paragraph pages, header and footer strings, DOS links, footnotes,
    # bookmarks, the font names.
    header[0x1a:0x2e] = struct.pack("<5I", TEXT_START, TEXT_START, TEXT_START, end, size)
    header[0x2e:0x64] = (entry(btec_at, btec) + entry(btep_at, btep) + bytes(6 * 6) +
                         entry(fonts_at, fonts))
    # The page in twips: margins (top, bottom, left, right), length, width;
    # first page number, no header or footer heights, portrait, 100 %.
    header[0x64:0x80] = struct.pack("<6H8H", 1440, 1440, 1800, 1800, 15840, 12240,
                                    1, 0, 0, 720, 720, 0, 100, 0)
    header[0x8e:0x90] = struct.pack("<H", 2)  # one column
    mn0 = bytearray(header + text)
    mn0.extend(bytes(chars_at - len(mn0)))
    mn0 += property_page(char_runs, end) + property_page(para_runs, end)
    mn0 += fonts + btec + btep
    assert len(mn0) == size
    return bytes(mn0), starts


# The Works 8 document: a title and two paragraphs.
PROSE8 = ["Un jour d’automne au bac",
          "Le matin, la brume couvre les prés et le bac attend en silence près de la rive. "
          "Le passeur ouvre la porte de sa cabane, salue les premiers voyageurs et compte "
          "les pièces de la traversée.",
          "Vers midi, il fait plus chaud. Les enfants lancent des galets dans l’eau pendant "
          "que leurs grands-mères, assises sur le banc, parlent du temps, des pommes du "
          "verger et de la semaine à venir. « Demain il pleuvra », dit l’une d’elles, "
          "et toutes hochent la tête ; même le chœur des oiseaux se tait."]
CONTENTS_MIN = 4096  # the shortest stream the format rule reads


def works8_document():
    """The `CONTENTS` stream of a Works 8 word processor document."""
    text = "".join(p + "\r" for p in PROSE8).encode("utf-16-le")
    names = b"".join(struct.pack("<H", len(n)) + n.encode("utf-16-le") + bytes(4)
                     for _, n in FONTS)
    # Its length less 20, the font count, three unknown words, one word a font.
    fonts = (struct.pack("<II", 12 + 4 * len(FONTS) + len(names), len(FONTS)) +
             bytes(12 + 4 * len(FONTS)) + names)
    chunks = [(b"TEXT", text), (b"FONT", fonts)]
    index_at, entry_size = 0x18, 0x18
    place = (index_at + 8 + entry_size * len(chunks) + 15) // 16 * 16
    index, body = b"", b""
    for name, data in chunks:
        index += struct.pack("<H4sHhh4sII", entry_size, name, 0, 0, 0, name, place + len(body),
                             len(data))
        body += data + bytes(-len(data) % 16)
    head = b"CHNKWKS " + struct.pack("<hhH5h", 0, 0, len(chunks), 0, 0, 0, 0, 0)
    block = struct.pack("<HHI", 0x1F8, len(chunks), 0xFFFFFFFF) + index
    contents = head + block + bytes(place - len(head) - len(block)) + body
    return contents + bytes(max(0, CONTENTS_MIN - len(contents)))


def record(kind, data=b""):
    return struct.pack("<HH", kind, len(data)) + data


def sheet(version, cells, first=b"\x00\x00"):
    """A worksheet: the beginning-of-file record (its type bytes `first`),
    the active range, the calculation mode and order, `cells` (records), the
    end-of-file record."""
    rows = 1 + max((c[1] for c in cells), default=0)
    bof = first + struct.pack("<HH", 2, version)
    settings = record(0x02, b"\xff") + record(0x03, b"\x00")  # calculation mode and order
    return (bof + record(0x06, struct.pack("<HHHH", 0, 0, 2, rows - 1)) + settings +
            b"".join(c[0] for c in cells) + record(0x01))


def lotus_label(col, row, text):
    data = struct.pack("<BHH", 0xFF, col, row) + b"'" + text.encode("cp850") + b"\0"
    return (record(0x0F, data), row)


def lotus_integer(col, row, value):
    return (record(0x0D, struct.pack("<BHHh", 0xFF, col, row, value)), row)


def quattro_label(col, row, text):
    raw = text.encode("cp850")
    data = struct.pack("<BBBh", 0xFF, col, 0, row) + b"'" + bytes([len(raw)]) + raw
    return (record(0x0F, data), row)


def cells_of(lang, label):
    cells = []
    for row, (a, b) in enumerate(TEXTS[lang]):
        cells.append(label(0, row, a))
        if b is not None:
            cells.append(label(1, row, b))
    return cells


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(os.path.join(OUT, "other"), exist_ok=True)
    rows = []

    def write(name, data, code, word):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
        rows.append((name, code, word))

    de_cells = cells_of("de", lotus_label)
    de_cells.insert(2, lotus_integer(2, 0, YEAR))
    de = sheet(0x0406, de_cells)
    write("de.wk1", de, 364, WORDS["de"])
    write("fr.wks", sheet(0x0404, cells_of("fr", lotus_label)), 364, WORDS["fr"])
    write("es.wq1", sheet(0x5120, cells_of("es", quattro_label)), 364, WORDS["es"])
    write("empty.wk1", sheet(0x0406, []), 364, "-")

    second = de.index(TEXTS["de"][1][0][:20].encode("cp850"))
    write("bad/cut.wk1", de[:second + 30], 364, "Wochenmarkt")
    write("bad/password.wk1", de[:6] + record(0x4B, b"\x5a\xa5") + de[6:], 364, "-")
    release3 = record(0x00, struct.pack("<HH", 0x1000, 0) + bytes(22)) + record(0x01)
    write("bad/release3.wk3", release3, 364, "-")
    write("bad/mn0.wps", cfb.build({"MN0": bytes(64)}), 363, "-")

    write("other/version.wk1", de[:4] + b"\x07\x04" + de[6:], 346, "-")
    cursor = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 0, 0, 40, 22)
    write("other/cursor.cur", cursor + bytes(40), 343, "-")
    write("other/long.wk1", de[:6] + record(0x06, bytes(8))[:4] + b"\x40" * 2, 346, "-")

    write("de.wk1.gz", gzip.compress(de, 9, mtime=0), 347, WORDS["de"])

    mn0, starts = works4_document()
    write("de.wps", cfb.build({"MN0": mn0}), 363, "Großmütter")
    write("fr.wps", cfb.build({"CONTENTS": works8_document()}), 363, "pièces")
    write("bad/cut.wps", cfb.build({"MN0": mn0[:starts[2] + 40]}), 363, "-")
    text_end = struct.unpack_from("<I", mn0, 0x26)[0]
    write("bad/bare.wps", cfb.build({"MN0": mn0[:text_end]}), 363, "Großmütter")

    # Outside a compound file: Works for DOS (version 1, creator word 0) in
    # code page 850, Works 3 for Windows (version 4) in code page 1252; the
    # DOS document cut after its text, and cut inside its text (the header
    # then names text beyond the file's end: not taken for Works); a header
    # whose text limits lie outside the file.
    dos, dos_starts = works4_document(PROSE_DOS, "cp850", b"\x01\xfe\x00\x00")
    write("dos-fr.wps", dos, 363, "maraîchers")
    win3, _ = works4_document(PROSE, "cp1252", b"\x04\xfe\x27\x4e")
    write("win3-de.wps", win3, 363, "Großmütter")
    dos_end = struct.unpack_from("<I", dos, 0x26)[0]
    write("bad/dos-bare.wps", dos[:dos_end], 363, "maraîchers")
    write("bad/dos-cut.wps", dos[:dos_starts[2] + 40], 346, "-")
    write("other/limits.wps", dos[:0x1A] + struct.pack("<I", 0x100) * 3 +
          struct.pack("<I", len(dos) + 1) + dos[0x2A:], 346, "-")

    # libwps's own converter reads each document's paragraphs as written.
    if shutil.which("wps2text"):
        german = [PROSE["title"]] + ["".join(p for p in body if p) for body in PROSE["body"]]
        french = ([PROSE_DOS["title"]] +
                  ["".join(p for p in body if p) for body in PROSE_DOS["body"]])
        for name, paragraphs in (("de.wps", german), ("bad/bare.wps", german), ("fr.wps", PROSE8),
                                 ("dos-fr.wps", french), ("bad/dos-bare.wps", french),
                                 ("win3-de.wps", german)):
            got = subprocess.run(["wps2text", os.path.join(OUT, name)], capture_output=True,
                                 check=True).stdout.decode()
            if got.splitlines() != paragraphs:
                sys.exit("wps2text reads %s otherwise:\n%s" % (name, got))

    for name, code, word in rows:
        print("works/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
