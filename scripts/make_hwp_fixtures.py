#!/usr/bin/env python3
"""Makes the Hangul word processor (HWP 5) samples of tests/data/dxfilter/hwp/
and prints their rows of formats.tsv (make_filter_fixtures.sh appends them
to the table).

A document is a compound file (scripts/fixtures/cfb.py) holding:

  FileHeader      256 bytes: "HWP Document File" padded with zero bytes to
                  32, the version (5.0.3.0: 0x05000300), the property word
                  (bit 0 compressed, bit 1 password, bit 2 distribution
                  document), zero bytes
  DocInfo         the document properties (section count, start numbers)
                  and the table of id mappings, all counts zero
  BodyText/       Section0, Section1, ...: records, raw deflate (no zlib
                  header) when the document is compressed

A record opens with a 32-bit word: its tag (10 bits), its level (10 bits)
and its size (12 bits; 0xFFF: a 32-bit size follows). A paragraph is its
header (tag 66: character count, control mask, shape and style ids), its
text (tag 67, UTF-16LE), its character shapes (tag 68) and line segments
(tag 69). In the text, units 0 to 31 are controls: 10 (line break), 13
(paragraph end), 24 (hyphen), 30 and 31 (non-breaking and fixed-width
spaces) take one unit; the others take eight: the code, six units of
parameters (an extended control's four-letter id first), the code again.
An extended control's records follow its paragraph's, one level deeper: its
control header (tag 71) and, for a table, the table record (tag 77) and
each cell's list header (tag 72) and paragraphs; a footnote's list header
and paragraph likewise.

  ko.hwp                compressed, two sections: a title, paragraphs with
                        a tab, a hyperlink field around a word, a line break,
                        a non-breaking space and a hyphen; a table of two
                        rows whose cells hold paragraphs; a footnote; the
                        first paragraph opens with the section and column
                        definitions; a character shape record longer than
                        4094 bytes (its size after the header word)
  en.hwp                the same structure in English, uncompressed
  ko.hwp.gz             ko.hwp in a gzip stream without name or time
  bad/password.hwp      ko.hwp's streams with the password bit set
                        (recognised, no text)
  bad/distribution.hwp  a distribution document: the distribution bit and a
                        ViewText storage instead of BodyText (recognised, no
                        text)
  bad/signature.hwp     ko.hwp with another signature in its file header
                        (recognised, no text)
  bad/version.hwp       ko.hwp with version 3.0 in its file header
                        (recognised, no text)
  bad/deflate.hwp       ko.hwp whose first section's deflate stream is cut
                        in its second half: the text before the cut
  bad/record.hwp        en.hwp whose first section ends with a record whose
                        size runs past the section's end: the text before
  bad/cut.hwp           ko.hwp cut in half: its allocation table is lost, an
                        OLE file whose directory cannot be read (340)
  other/fileheader.cfb  a compound file with a FileHeader stream but no
                        DocInfo: another program's (340)

The sentences are the project's own. The files carry no time: two runs
write the same bytes.
"""
import gzip
import os
import struct
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import cfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "hwp")

PARA_HEADER, PARA_TEXT, PARA_CHAR_SHAPE, PARA_LINE_SEG = 66, 67, 68, 69
CTRL_HEADER, LIST_HEADER, TABLE = 71, 72, 77
DOCUMENT_PROPERTIES, ID_MAPPINGS = 16, 17

COMPRESSED, PASSWORD, DISTRIBUTION = 1, 2, 4

# A document: sections of blocks. A block is a paragraph (a list of
# pieces: text, ("tab",), ("field", text), ("br",), ("nbsp",), ("hyphen",)),
# ("table", rows of cells: a cell is a text or a list of pieces) or ("note",
# text); a table or note is its own paragraph holding the control, then its
# lists.
TEXTS = {
    "ko": [
        [
            ["봄날의 시장"],
            ["토요일 아침이면 마을 광장에 작은 시장이 열립니다.", ("tab",),
             "농부들은 새벽에 딴 딸기와 상추, 그리고 갓 구운 떡을 가지고 나옵니다."],
            ["아이들은 가게 사이를 뛰어다니며 ", ("field", "달콤한"), " 과일을 맛봅니다.",
             ("br",), "할머니들은 그늘에 앉아 이웃과 이야기를 나눕니다."],
            ("table", [["품목", "가격"], ["딸기 한 상자", ["만", ("nbsp",), "원"]]]),
            ["점심 무렵이 되면 상인들은 천막을 걷고 집으로 돌아갑니다."],
            ("note", "이 시장은 삼십 년 전에 처음 열렸습니다."),
        ],
        [
            ["다음 주에는 비가 온다고 하니 우산을 챙기세요. 서울", ("hyphen",),
             "부산 기차도 늦게 옵니다."],
        ],
    ],
    "en": [
        [
            ["The Lighthouse Keeper"],
            ["Every evening the keeper climbs the narrow stairs and lights the great lamp.",
             ("tab",), "Ships far out at sea look for its beam."],
            ["They steer away from the ", ("field", "black"), " rocks near the harbour.",
             ("br",), "Nobody has lost a boat here for many years."],
            ("table", [["Season", "Hours"], ["Winter", ["Fourteen", ("nbsp",), "hours"]]]),
            ["In the morning he writes the weather in a thick book and sleeps until noon."],
            ("note", "The lamp was first lit a hundred years ago."),
        ],
        [
            ["Next week a well", ("hyphen",), "known sailor will come and learn the work."],
        ],
    ],
}


def chid(name):
    """A control's four-letter id as the number the format stores."""
    a, b, c, d = name.encode("ascii")
    return a << 24 | b << 16 | c << 8 | d


def record(tag, level, data):
    if len(data) >= 0xFFF:
        return struct.pack("<I", tag | level << 10 | 0xFFF << 20) + struct.pack("<I", len(data)) + data
    return struct.pack("<I", tag | level << 10 | len(data) << 20) + data


def long_control(code, ident):
    """Eight units: the code, the control's id and four zero units, the code."""
    return struct.pack("<HI", code, chid(ident)) + bytes(8) + struct.pack("<H", code)


def units(text):
    return text.encode("utf-16-le")


def paragraph(pieces, level, first=False, long_shape=False):
    """The records of one paragraph; the text of `pieces` as read."""
    data, read = b"", ""
    if first:
        # The section and column definitions open a section's first paragraph.
        data += long_control(2, "secd") + long_control(2, "cold")
    for piece in pieces:
        if isinstance(piece, str):
            data += units(piece)
            read += piece
        elif piece[0] == "tab":
            # A tab: inline, its width and leader in the parameters.
            data += struct.pack("<H", 9) + struct.pack("<IHH", 4000, 0, 0) + bytes(4) + \
                struct.pack("<H", 9)
            read += " "
        elif piece[0] == "field":
            data += long_control(3, "%hlk") + units(piece[1]) + long_control(4, "%hlk")
            read += piece[1]
        elif piece[0] == "br":
            data += struct.pack("<H", 10)
            read += "\n"
        elif piece[0] == "nbsp":
            data += struct.pack("<H", 30)
            read += " "
        elif piece[0] == "hyphen":
            data += struct.pack("<H", 24)
            read += "-"
    data += struct.pack("<H", 13)
    count = len(data) // 2
    header = struct.pack("<IIHBBHHHI", count, 0, 0, 0, 0, 1, 0, 1, 0)
    shape = struct.pack("<II", 0, 0)
    if long_shape:
        # A run of shapes longer than a 12-bit size holds.
        shape = b"".join(struct.pack("<II", i * 2, 0) for i in range(600))
    records = (record(PARA_HEADER, level, header) + record(PARA_TEXT, level + 1, data)
               + record(PARA_CHAR_SHAPE, level + 1, shape)
               + record(PARA_LINE_SEG, level + 1, bytes(36)))
    return records, read


def control_paragraph(code, ident, level):
    data = long_control(code, ident) + struct.pack("<H", 13)
    header = struct.pack("<IIHBBHHHI", len(data) // 2, 1 << code, 0, 0, 0, 1, 0, 1, 0)
    return (record(PARA_HEADER, level, header) + record(PARA_TEXT, level + 1, data)
            + record(PARA_CHAR_SHAPE, level + 1, bytes(8))
            + record(CTRL_HEADER, level + 1, struct.pack("<I", chid(ident)) + bytes(40)))


def section(blocks):
    """A section's records and its lines as the filter reads them."""
    out, lines = b"", []
    for i, block in enumerate(blocks):
        if isinstance(block, tuple) and block[0] == "table":
            rows = block[1]
            out += control_paragraph(11, "tbl ", 0)
            out += record(TABLE, 2, struct.pack("<IHHH", 0, len(rows), 2, 0) + bytes(10))
            for r, row in enumerate(rows):
                for c, cell in enumerate(row):
                    out += record(LIST_HEADER, 2, struct.pack("<HIH", 1, 0, 0)
                                  + struct.pack("<HHHH", c, r, 1, 1) + bytes(16))
                    records, read = paragraph([cell] if isinstance(cell, str) else cell, 2)
                    out += records
                    lines.append(read)
        elif isinstance(block, tuple) and block[0] == "note":
            out += control_paragraph(17, "fn  ", 0)
            out += record(LIST_HEADER, 2, struct.pack("<HIH", 1, 0, 0) + bytes(8))
            records, read = paragraph([block[1]], 2)
            out += records
            lines.append(read)
        else:
            records, read = paragraph(block, 0, first=i == 0, long_shape=i == 1)
            out += records
            lines.extend(read.split("\n"))
    return out, lines


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def file_header(properties, signature=b"HWP Document File", version=0x05000300):
    return signature.ljust(32, b"\0") + struct.pack("<II", version, properties) + bytes(216)


def document(lang, properties, body="BodyText", signature=b"HWP Document File",
             version=0x05000300, damage=None):
    """The compound file of TEXTS[lang] and the lines the filter reads."""
    sections, lines = {}, []
    for n, blocks in enumerate(TEXTS[lang]):
        records, read = section(blocks)
        if damage and n == 0:
            records = damage(records)
        if properties & COMPRESSED:
            records = deflate(records)
        sections["Section%d" % n] = records
        lines.extend(read)
    doc_info = (record(DOCUMENT_PROPERTIES, 0, struct.pack("<H", len(sections)) + bytes(24))
                + record(ID_MAPPINGS, 0, bytes(72)))
    if properties & COMPRESSED:
        doc_info = deflate(doc_info)
    streams = {
        "FileHeader": file_header(properties, signature, version),
        "DocInfo": doc_info,
        body: sections,
    }
    return cfb.build(streams), lines


def cut_deflate(lang):
    """ko.hwp whose first section's deflate stream stops in its second half."""
    data, _ = document(lang, COMPRESSED)
    records, _ = section(TEXTS[lang][0])
    packed = deflate(records)
    cut = packed[:len(packed) * 3 // 4]
    streams = {
        "FileHeader": file_header(COMPRESSED),
        "DocInfo": deflate(record(DOCUMENT_PROPERTIES, 0, bytes(26))),
        "BodyText": {"Section0": cut},
    }
    return cfb.build(streams)


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(os.path.join(OUT, "other"), exist_ok=True)
    ko, ko_lines = document("ko", COMPRESSED)
    en, en_lines = document("en", 0)
    # en.hwp's first section with a last record that claims 64 bytes more
    # than it holds.
    lost = units("Lost words")
    past = lambda records: (records + struct.pack("<I", PARA_TEXT | 1 << 10 | (len(lost) + 64) << 20)
                            + lost)
    record_damaged, _ = document("en", 0, damage=past)
    samples = [
        ("ko.hwp", ko, 368, "딸기와"),
        ("en.hwp", en, 368, "Lighthouse"),
        ("ko.hwp.gz", gzip.compress(ko, 9, mtime=0), 347, "딸기와"),
        ("bad/password.hwp", document("ko", COMPRESSED | PASSWORD)[0], 368, "-"),
        ("bad/distribution.hwp",
         document("ko", COMPRESSED | DISTRIBUTION, body="ViewText")[0], 368, "-"),
        ("bad/signature.hwp", document("ko", COMPRESSED, signature=b"HWP Document")[0], 368,
         "-"),
        ("bad/version.hwp", document("ko", COMPRESSED, version=0x03000000)[0], 368, "-"),
        ("bad/deflate.hwp", cut_deflate("ko"), 368, "봄날의"),
        ("bad/record.hwp", record_damaged, 368, "Lighthouse"),
        ("bad/cut.hwp", ko[:len(ko) // 2], 340, "-"),
        ("other/fileheader.cfb", cfb.build({"FileHeader": file_header(0)}), 340, "-"),
    ]
    for name, data, _, _ in samples:
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    # What the filter reads from the two documents, for the unit tests.
    for name, lines in (("ko.txt", ko_lines), ("en.txt", en_lines)):
        with open(os.path.join(OUT, name), "w", encoding="utf-8") as f:
            f.write("".join(line + "\n" for line in lines if line.strip()))
    for name, _, code, word in samples:
        print("hwp/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
