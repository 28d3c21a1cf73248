#!/usr/bin/env python3
"""Makes the Lotus 1-2-3, Quattro Pro and Microsoft Works samples of
tests/data/dxfilter/works/ and prints their rows of formats.tsv
(make_filter_fixtures.sh appends them to the table). Each file is written
record by record: a record is a type and a length (16 bits each,
little-endian) and the bytes that follow; a file opens with the
beginning-of-file record (type 0, its version word) and ends with the
end-of-file record (type 1, empty).

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

Code page 850 is what libwps takes for DOS files that name none. The
sentences are the project's own; the files carry no time, so two runs write
the same bytes (the gzip stream has no name and a zero time).
"""
import gzip
import os
import struct
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

    for name, code, word in rows:
        print("works/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
