#!/usr/bin/env python3
"""Makes the Microsoft Publisher samples of tests/data/dxfilter/publisher/
and prints their rows of formats.tsv (make_filter_fixtures.sh appends them
to the table).

A publication in the layout of Publisher 98 and 2000 is a compound file
(scripts/fixtures/cfb.py) holding:

  Contents              the page layout: 0xE8 0xAC, the version byte (0x22)
                        and a zero byte; at 0x16 the offset of the chunk
                        table. The table: a 16-bit count, then per chunk a
                        16-bit word, the chunk's id, its parent's id and its
                        offset (32 bits). A chunk opens with its type: 0x15
                        the document (page width and height in EMU at 0x14),
                        0x14 a page (its parent the document; id 0x109 is
                        the master page), 0x08 a text box (its parent the
                        page; its corners in EMU from the page's centre at
                        6, its story's id at 0x58)
  Quill/QuillSub/       the stories: at 0x18 the chunk directory (a 16-bit
    CONTENTS            word, a 16-bit count, the offset of the next
                        directory or 0xFFFFFFFF), then per chunk 24 bytes: a
                        16-bit word, its four-letter name, its id, a 32-bit
                        word, a four-letter kind, its offset and length. The
                        chunks:
                          TEXT  the stories' text one after another, UTF-16LE;
                                each paragraph ends with a carriage return, a
                                line break inside one is a vertical tab
                          STRS  the count of stories, 4 (where the lengths
                                start, past this word), each story's length in
                                UTF-16 units
                          SYID  a word, the count of stories, each one's id
                                (the id its text boxes name)
                          FDPC  character runs, FDPP paragraphs: a 16-bit
                                count, six bytes, the offset (in the stream)
                                where each ends, the offset (in the chunk) of
                                its properties (a 32-bit length, 4 here: none)
                          STSH  the style sheets, twice; FONT the fonts: a
                                word, a count (none here), twelve bytes

Publisher 2002 and later keep the same Quill stream; their `Contents`
opens with the version byte 0x2C and holds blocks: a block is its id, its
type (0x20 a 32-bit value, 0x70 a shape's seqnum, 0x78 none, 0x88 a
container and 0xC0 a string, each of these two after a 32-bit length that
counts itself, 0x90 the chunk directory) and its data. At 0x1A the offset
of the trailer: its length, two empty blocks and the directory, a container
per chunk whose place in it is the chunk's seqnum, holding the chunk's type
(block 2: 0x44 the document, 0x43 a page, 0x01 a shape), offset (4) and
parent (5). A chunk is its length, then blocks: the document's size (0x12:
width 1, height 2) and page list (2), a page's shape list (2), the name a
master page has (0xE) or the seqnum of the master a page applies (0xD), a
text box's story id (0x27). The `Escher/EscherStm` stream draws the shapes:
a drawing group, then a drawing of a shape group of shapes, each with its
anchor (its corners in EMU) and client data (0x6801: its seqnum); libmspub
draws a master page's boxes before each page's.

  en.pub               English, Publisher 2002 layout: a page of two text
                       boxes (two paragraphs, one with a line break and a
                       tab), a second page of one; a text box on the master
                       page, drawn on both pages
  ko.pub               Korean, Publisher 2002 layout: two pages
  de.pub               German, Publisher 2000 layout: two pages whose
                       masthead box (same place, same text) stands on both,
                       as a master page's is drawn on each, and a box of two
                       paragraphs on each
  en-2000.pub          en.pub in the Publisher 2000 layout (whose master
                       page libmspub does not draw)
  bad/cut.pub          en-2000.pub whose Quill stream stops inside its TEXT chunk
                       (recognised, no text)
  bad/huge.pub         en-2000.pub whose story table declares 2^31 units, its
                       font table 2^28 fonts and its chunk table 65535
                       chunks (recognised, bounded, no text)
  bad/boxes.pub        a page of 2000 text boxes over one story of 2 KB
                       (recognised, the text stops at the cap)
  bad/escher.pub       the Publisher 2002 version byte without the Escher
                       stream libmspub needs for it (recognised, refused)
  bad/half.pub         en-2000.pub cut in half: its allocation table is lost (an
                       OLE file whose directory cannot be read, 340)
  other/contents.cfb   a compound file with a Contents stream of another
                       program (no signature, no Quill storage: 340)
  other/quill.cfb      a Quill storage without the Contents stream (340)

The four newsletters are checked with libmspub's own pub2raw (libmspub-tools)
when it is installed: the text it draws is the text written here, in that
order.

The sentences are the project's own. The files carry no time: two runs
write the same bytes.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import cfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "publisher")

SIGNATURE_2000, SIGNATURE_2002 = b"\xe8\xac\x22\x00", b"\xe8\xac\x2c\x00"
# The later layout: block types (a 32-bit value, a container of blocks, a
# string, a shape's seqnum, none, the chunk directory), block ids, chunk
# types, and the Escher shape type of a rectangle (version 2).
BLOCK_U32, BLOCK_CONTAINER, BLOCK_STRING, BLOCK_SHAPE_SEQNUM = 0x20, 0x88, 0xC0, 0x70
BLOCK_NONE, BLOCK_DIRECTORY = 0x78, 0x90
CHUNK_TYPE, CHUNK_OFFSET, CHUNK_PARENT = 2, 4, 5
DOCUMENT_SIZE, DOCUMENT_PAGES, PAGE_SHAPES, MASTER_NAME, APPLIED_MASTER = 0x12, 2, 2, 0xE, 0xD
SHAPE_TEXT_ID = 0x27
DOCUMENT_2002, PAGE_2002, SHAPE_2002 = 0x44, 0x43, 0x01
RECTANGLE_SHAPE = 1 << 4 | 2
DOCUMENT, PAGE, TEXT_BOX = 0x15, 0x14, 0x08
DOCUMENT_ID, MASTER_PAGE_ID = 1, 0x109
EMU_PER_INCH = 914400
PAGE_WIDTH, PAGE_HEIGHT = int(8.5 * EMU_PER_INCH), 11 * EMU_PER_INCH

# A publication: pages of text boxes. A box is (left, top, width, height) in
# inches from the page's top left corner and its story: paragraphs, each a
# string ("\v" a line break).
EN = [
    [((1, 1, 6.5, 1.5), ["Harbour Street Community Garden",
                         "Spring newsletter for neighbours and friends\vIssue 12"]),
     ((1, 3, 6.5, 4), ["This year the volunteers planted tomatoes, beans and sunflowers "
                       "along the old fence.",
                       "Bring your own gloves:\tthe tool shed opens at nine on Saturday "
                       "mornings."])],
    [((1, 1, 6.5, 3), ["The harvest supper will be held in the church hall, and everyone "
                       "who helped with the weeding is warmly invited."])],
]
EN_MASTER = [((1, 10, 6.5, 0.5), ["Printed on recycled paper"])]

KO = [
    [((1, 1, 6.5, 1), ["우리 동네 도서관 소식"]),
     ((1, 2.5, 6.5, 4), ["이번 달에는 어린이를 위한 그림책 읽기 모임이 토요일 오전에 열립니다.",
                         "새로 들어온 책은 입구 옆 책장에서 찾을 수 있습니다."])],
    [((1, 1, 6.5, 3), ["도서관은 매주 월요일에 쉬며, 다른 날에는 아침 아홉 시부터 저녁 여섯 "
                       "시까지 문을 엽니다."])],
]

DE_MASTHEAD = ((1, 0.5, 6.5, 1), ["Gemeindeblatt Unterwössen"])
DE = [
    [DE_MASTHEAD,
     ((1, 2, 6.5, 4), ["Im Frühjahr hat der Gemeinderat beschlossen, die Brücke über den "
                       "Bach neu zu bauen.",
                       "Die Arbeiten beginnen im Mai und dauern voraussichtlich bis zum "
                       "Herbst."])],
    [DE_MASTHEAD,
     ((1, 2, 6.5, 4), ["Während der Bauzeit fährt der Schulbus über die Umleitung am "
                       "Sportplatz.",
                       "Für Fragen steht das Bürgerbüro jeden Donnerstag zur Verfügung."])],
]


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def quill(stories, declared=None, fonts=0):
    """The Quill stream of `stories` (id, paragraphs); `declared` replaces
    the last story's length in STRS."""
    text = b""
    lengths, ends = [], []
    for _, paragraphs in stories:
        start = len(text)
        for p in paragraphs:
            text += (p + "\r").encode("utf-16-le")
            ends.append(len(text))
        lengths.append((len(text) - start) // 2)
    if declared is not None:
        lengths[-1] = declared
    names = ["TEXT", "STRS", "SYID", "FDPC", "FDPP", "STSH", "STSH", "FONT"]
    directory = 0x18
    text_at = directory + 8 + 24 * len(names)

    def runs(ends):
        # Each paragraph one run, all without properties.
        head = u16(len(ends)) + bytes(6)
        props_at = len(head) + 6 * len(ends)
        return (head + b"".join(u32(text_at + e) for e in ends)
                + b"".join(u16(props_at) for _ in ends) + u32(4))

    chunks = [
        text,
        u32(len(lengths)) + u32(4) + b"".join(u32(n) for n in lengths),
        u32(0) + u32(len(stories)) + b"".join(u32(i) for i, _ in stories),
        runs(ends),
        runs(ends),
        u32(0) + u32(0) + bytes(12),
        u32(0) + u32(0) + bytes(12),
        u32(0) + u32(fonts) + bytes(12),
    ]
    out = bytearray(directory) + u16(0) + u16(len(names)) + u32(0xFFFFFFFF)
    at = text_at
    for i, (name, body) in enumerate(zip(names, chunks)):
        out += u16(0x18) + name.encode() + u16(i) + u32(1) + b"CHNK" + u32(at) + u32(len(body))
        at += len(body)
    for body in chunks:
        out += body
    return bytes(out)


def emu(inches):
    return round(inches * EMU_PER_INCH)


def text_box(place, story):
    left, top, width, height = place
    box = bytearray(0x70)
    struct.pack_into("<H", box, 0, TEXT_BOX)
    struct.pack_into("<4i", box, 6, emu(left) - PAGE_WIDTH // 2, emu(top) - PAGE_HEIGHT // 2,
                     emu(left + width) - PAGE_WIDTH // 2, emu(top + height) - PAGE_HEIGHT // 2)
    struct.pack_into("<H", box, 0x58, story)
    return bytes(box)


def contents(pages, signature=SIGNATURE_2000, chunk_count=None):
    """The Contents stream of `pages` (page id, [(box id, place, story id)])."""
    chunks = [(DOCUMENT_ID, 0, u16(DOCUMENT) + bytes(0x12) + u32(PAGE_WIDTH) + u32(PAGE_HEIGHT)
               + bytes(8))]
    for page, boxes in pages:
        chunks.append((page, DOCUMENT_ID, u16(PAGE) + bytes(30)))
        for box, place, story in boxes:
            chunks.append((box, page, text_box(place, story)))
    out = bytearray(signature + bytes(0x1C))
    offsets = []
    for _, _, body in chunks:
        offsets.append(len(out))
        out += body
    struct.pack_into("<I", out, 0x16, len(out))
    out += u16(len(chunks) if chunk_count is None else chunk_count)
    for (chunk, parent, _), at in zip(chunks, offsets):
        out += u16(0) + u16(chunk) + u16(parent) + u32(at)
    return bytes(out)


def block(block_id, value):
    """A block of the later layout holding a 32-bit value."""
    return bytes([block_id, BLOCK_U32]) + u32(value)


def container(block_id, body):
    return bytes([block_id, BLOCK_CONTAINER]) + u32(4 + len(body)) + body


def chunk_2002(body):
    return u32(4 + len(body)) + body


def contents_2002(pages, master):
    """The Contents stream of the later layout for `pages` (page seqnum,
    [(box seqnum, place, story id)]), the first of them the master page when
    `master`; the seqnums run from 1 without a gap (0 is the document)."""
    chunks = {0: (DOCUMENT_2002, 0, chunk_2002(
        container(DOCUMENT_SIZE, block(1, PAGE_WIDTH) + block(2, PAGE_HEIGHT))
        + container(DOCUMENT_PAGES, b"".join(block(0, page) for page, _ in pages[bool(master):]))))}
    for k, (page, boxes) in enumerate(pages):
        body = container(PAGE_SHAPES, b"".join(bytes([0, BLOCK_SHAPE_SEQNUM]) + u32(box)
                                               for box, _, _ in boxes))
        if master and k == 0:
            body += bytes([MASTER_NAME, BLOCK_STRING]) + u32(4 + 16) + "Master A".encode(
                "utf-16-le")
        elif master:
            body += block(APPLIED_MASTER, pages[0][0])
        chunks[page] = (PAGE_2002, 0, chunk_2002(body))
        for box, _, story in boxes:
            chunks[box] = (SHAPE_2002, page, chunk_2002(block(SHAPE_TEXT_ID, story)))
    out = bytearray(SIGNATURE_2002 + bytes(0x1C))
    offsets = {}
    for seqnum in sorted(chunks):
        offsets[seqnum] = len(out)
        out += chunks[seqnum][2]
    struct.pack_into("<I", out, 0x1A, len(out))
    directory = b"".join(
        container(0, block(CHUNK_TYPE, kind) + block(CHUNK_OFFSET, offsets[seqnum])
                  + block(CHUNK_PARENT, parent))
        for seqnum, (kind, parent, _) in sorted(chunks.items()))
    trailer = (bytes([0, BLOCK_NONE]) * 2 + bytes([0, BLOCK_DIRECTORY]) + u32(4 + len(directory))
               + directory)
    out += u32(4 + len(trailer)) + trailer
    return bytes(out)


def record(initial, kind, body):
    """An Escher record: its version and instance, its type, its length."""
    return u16(initial) + u16(kind) + u32(len(body)) + body


def escher(pages):
    """The Escher/EscherStm stream: an empty drawing group, then one drawing
    of one shape group holding each box (its type, its anchor in EMU, its
    seqnum in the client data)."""
    shapes = b""
    for _, boxes in pages:
        for box, (left, top, width, height), _ in boxes:
            corners = zip((0x2001, 0x2002, 0x2003, 0x2004),
                          (emu(left), emu(top), emu(left + width), emu(top + height)))
            anchor = b"".join(u16(i) + u32(v) for i, v in corners)
            client = u16(0x6801) + u32(box)
            shapes += record(0x0F, 0xF004, record(RECTANGLE_SHAPE, 0xF00A, u32(0x400 + box)
                                                  + u32(0xA00))
                             + record(0, 0xF010, u32(len(anchor)) + anchor)
                             + record(0, 0xF011, u32(len(client)) + client))
    drawing = record(0x10, 0xF002, record(0x0F, 0xF003, shapes))
    return record(0x0F, 0xF000, b"") + bytes(4) + drawing + bytes(4)


def publication(pages, master=(), layout=2000, signature=SIGNATURE_2000, declared=None,
                fonts=0, chunk_count=None, cut_quill=None):
    """A publication of `pages` (and boxes on the master page) in the layout
    of Publisher 2000 or 2002: its bytes and the lines of text libmspub draws,
    page by page: the master page's boxes before each page's in the later
    layout, never in the earlier one (a box at the same place with the same
    text as an earlier one shares its story)."""
    stories, placed_pages = [], []
    seen = {}
    if layout == 2000:
        numbered, seqnum = [(MASTER_PAGE_ID, master)] + list(enumerate(pages, 0x110)), 0x200
    else:
        # A chunk's seqnum is its place in the directory: the document, the
        # pages, then the boxes.
        numbered = list(enumerate(([master] if master else []) + pages, 1))
        seqnum = len(numbered) + 1
    for number, boxes in numbered:
        placed = []
        for place, paragraphs in boxes:
            key = (place, tuple(paragraphs))
            if key not in seen:
                seen[key] = len(stories) + 1
                stories.append((seen[key], paragraphs))
            placed.append((seqnum, place, seen[key]))
            seqnum += 1
        if placed:
            placed_pages.append((number, placed))
    drawn = []
    for page in pages:
        for _, paragraphs in (list(master) if layout == 2002 else []) + page:
            drawn += [line for p in paragraphs for line in p.split("\v")]
    stream = quill(stories, declared, fonts)
    if cut_quill:
        stream = stream[:cut_quill(stream)]
    streams = {"Quill": {"QuillSub": {"CONTENTS": stream}}}
    if layout == 2000:
        streams["Contents"] = contents(placed_pages, signature, chunk_count)
    else:
        streams["Contents"] = contents_2002(placed_pages, bool(master))
        streams["Escher"] = {"EscherStm": escher(placed_pages)}
    return cfb.build(streams), drawn


def many_boxes():
    sentence = "The lighthouse keeper climbs the narrow stairs every evening at dusk. "
    story = [sentence * 30]
    boxes = [((1 + (k % 10) * 0.1, 1 + (k // 10) * 0.01, 4, 1), story) for k in range(2000)]
    pages = [(0x110, [(0x200 + k, place, 1) for k, (place, _) in enumerate(boxes)])]
    streams = {"Contents": contents(pages),
               "Quill": {"QuillSub": {"CONTENTS": quill([(1, story)])}}}
    return cfb.build(streams)


def drawn_text(path):
    """The text pub2raw draws for `path`: each insertText's text, a line per
    paragraph; None without pub2raw."""
    tool = shutil.which("pub2raw")
    if not tool:
        return None
    raw = subprocess.run([tool, path], capture_output=True, check=True).stdout.decode("utf-8")
    lines, line = [], ""
    for row in raw.split("\n"):
        row = row.strip(" ")
        m = re.match(r"insertText \((.*)\)$", row)
        if m:
            line += m.group(1)
        elif row == "insertTab":
            line += "\t"
        elif row == "insertSpace":
            line += " "
        elif row == "closeParagraph":
            lines += [part for part in line.rstrip("\r").split("\v")]
            line = ""
    return lines


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(os.path.join(OUT, "other"), exist_ok=True)
    en, en_drawn = publication(EN, EN_MASTER, layout=2002)
    ko, ko_drawn = publication(KO, layout=2002)
    de, de_drawn = publication(DE)
    en_2000, en_2000_drawn = publication(EN, EN_MASTER)
    cut = publication(EN, EN_MASTER, cut_quill=lambda q: q.index("supper".encode("utf-16-le")))[0]
    huge = publication(EN, EN_MASTER, declared=0x80000000, fonts=0x10000000,
                       chunk_count=0xFFFF)[0]
    escher = publication(EN, signature=SIGNATURE_2002)[0]
    other = cfb.build({"Contents": b"Table of contents\r\n" * 8})
    quill_only = cfb.build({"Quill": {"QuillSub": {"CONTENTS": quill([(1, ["Quill"])])}}})
    samples = [
        ("en.pub", en, 371, "sunflowers"),
        ("ko.pub", ko, 371, "그림책"),
        ("de.pub", de, 371, "Umleitung"),
        ("en-2000.pub", en_2000, 371, "sunflowers"),
        ("bad/cut.pub", cut, 371, "-"),
        ("bad/huge.pub", huge, 371, "-"),
        ("bad/boxes.pub", many_boxes(), 371, "lighthouse"),
        ("bad/escher.pub", escher, 371, "-"),
        ("bad/half.pub", en_2000[:len(en_2000) // 2], 340, "-"),
        ("other/contents.cfb", other, 340, "-"),
        ("other/quill.cfb", quill_only, 340, "-"),
    ]
    for name, data, _, _ in samples:
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    # What libmspub draws of the two publications is what they were written
    # with.
    for name, drawn in (("en", en_drawn), ("ko", ko_drawn), ("de", de_drawn),
                        ("en-2000", en_2000_drawn)):
        read = drawn_text(os.path.join(OUT, name + ".pub"))
        if read is not None and read != drawn:
            sys.exit("pub2raw reads %s.pub otherwise: %r" % (name, read))
    for name, _, code, word in samples:
        print("publisher/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
