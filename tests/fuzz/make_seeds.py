#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets whose input is not a whole
document, from the sample documents in tests/data/dxfilter/docs:

  tests/data/fuzz/msdoc/      length, WordDocument stream, table stream;
                              also two Word for Windows 2.0 documents
                              built here (saved whole and fast-saved)
  tests/data/fuzz/msxls/      Workbook (or Book) stream; also three Excel
                              2.x to 4.0 files built here (a sheet of
                              Excel 2.x and of 3.0, an Excel 4.0 workbook)
  tests/data/fuzz/msppt/      PowerPoint Document stream; also a
                              PowerPoint 95 presentation's stream built here
  tests/data/fuzz/office/     the fixed pages of the XPS samples (from
                              tests/data/dxfilter/xps; fuzz_office stores
                              a page in a package of its own), and "XLSB",
                              the 32-bit length of the shared strings part,
                              that part and a sheet part of each Excel
                              binary workbook sample (tests/data/dxfilter/xlsb)
  tests/data/fuzz/pdf_order/  flag byte, page text, zero byte, boxes
                              (needs Python's GObject bindings and poppler's
                              introspection data: python3-gi,
                              gir1.2-poppler-0.18)
  tests/data/fuzz/lzx/        window and reset bytes, then the LZX frames of
                              two compiled HTML Help samples (from
                              tests/data/dxfilter/chm), each after its
                              16-bit length

The other targets read whole documents, straight from tests/data/dxfilter.

Each run writes the same bytes from the same documents, and each directory
it writes holds afterwards only what it wrote and the inputs that once made
a reader fail (FAULTS, kept by name; the generator writes no seed of those
names): seeds of documents that are no longer among the samples go.
"""

import struct
import sys
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent.parent
DOCS = REPO / "tests/data/dxfilter/docs"
OUT = REPO / "tests/data/fuzz"
MAX_SEED = 64 * 1024  # longer streams are cut: the fuzzer works on small inputs

# Inputs that once made a reader fail, by directory: never written or removed here.
FAULTS = {
    "msdoc": ("huge-piece-table",),  # a piece table longer than its stream
    "pdf_order": ("lines-side-by-side",),  # 16,000 one-letter lines at one height
}
written = {}


def ole_streams(data):
    """The streams at the root of a compound file, by name."""
    shift = struct.unpack_from("<H", data, 0x1E)[0]
    size = 1 << shift
    sector = lambda s: data[(s + 1) * size:(s + 2) * size]
    fat_sectors = [s for s in struct.unpack_from("<109I", data, 0x4C) if s < 0xFFFFFFFA]
    fat = []
    for s in fat_sectors:
        fat += struct.unpack("<%dI" % (size // 4), sector(s))

    def chain(start, get, limit=1 << 20):
        out = []
        while start < 0xFFFFFFFA and len(out) < limit:
            out.append(get(start))
            start = fat_of(start)
        return b"".join(out)

    fat_of = lambda s: fat[s]
    directory = chain(struct.unpack_from("<I", data, 0x30)[0], sector)
    entries = [directory[i:i + 128] for i in range(0, len(directory), 128)]
    root = entries[0]
    mini_stream = chain(struct.unpack_from("<I", root, 116)[0], sector)
    mini_fat_bytes = chain(struct.unpack_from("<I", data, 0x3C)[0], sector)
    mini_fat = struct.unpack("<%dI" % (len(mini_fat_bytes) // 4), mini_fat_bytes)
    cutoff = struct.unpack_from("<I", data, 0x38)[0]
    streams = {}
    for e in entries[1:]:
        if e[66] != 2:
            continue
        name = e[:struct.unpack_from("<H", e, 64)[0]].decode("utf-16-le").rstrip("\0")
        start, length = struct.unpack_from("<II", e, 116)
        if length < cutoff:
            out, s = [], start
            while s < 0xFFFFFFFA and len(out) * 64 < length:
                out.append(mini_stream[s * 64:(s + 1) * 64])
                s = mini_fat[s]
            streams[name] = b"".join(out)[:length]
        else:
            streams[name] = chain(start, sector)[:length]
    return streams


def write(kind, name, data):
    assert name not in FAULTS.get(kind, ()), name
    d = OUT / kind
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(data[:MAX_SEED])
    written.setdefault(kind, set()).add(name)


def remove_stale(kinds):
    """Removes from the directories of `kinds` every file this run did not
    write, but the inputs of FAULTS."""
    for kind in kinds:
        keep = written.get(kind, set()) | set(FAULTS.get(kind, ()))
        for path in sorted((OUT / kind).iterdir()):
            if path.name not in keep:
                path.unlink()


def office_seeds():
    # The presentations of others (with speaker notes) beside the project's own.
    paths = sorted(DOCS.iterdir()) + sorted((DOCS.parent / "ppt").glob("*.ppt"))
    for path in paths:
        if path.suffix not in (".doc", ".xls", ".ppt"):
            continue
        streams = ole_streams(path.read_bytes())
        if "WordDocument" in streams:
            word = streams["WordDocument"]
            flags = struct.unpack_from("<H", word, 0x0A)[0]
            table = streams.get("1Table" if flags & 0x200 else "0Table", b"")
            write("msdoc", path.stem, struct.pack("<I", len(word)) + word + table)
        for name in ("Workbook", "Book"):
            if name in streams:
                write("msxls", path.stem, streams[name])
        if "PowerPoint Document" in streams:
            write("msppt", path.stem, streams["PowerPoint Document"])


def word2_document(runs, fast_saved):
    """A Word for Windows 2.0 document of 8-bit `runs` (code page 1252):
    the file information block, the text from 0x180 (each run a piece,
    stored backwards, when fast-saved) and the piece table after it."""
    start = 0x180
    word = bytearray(start)
    struct.pack_into("<HHHH", word, 0, 0xA5DB, 45, 0, 0x0409)
    struct.pack_into("<H", word, 0x0A, 0x0004 if fast_saved else 0)
    cps, fcs = [0], [0] * len(runs)
    for run in runs:
        cps.append(cps[-1] + len(run))
    order = range(len(runs) - 1, -1, -1) if fast_saved else range(len(runs))
    for i in order:
        fcs[i] = len(word)
        word += runs[i]
    struct.pack_into("<III", word, 0x18, start, len(word), 0)
    struct.pack_into("<I", word, 0x34, cps[-1])
    if fast_saved:
        plc = b"".join(struct.pack("<I", cp) for cp in cps)
        plc += b"".join(struct.pack("<HIH", 0, fc, 0) for fc in fcs)
        struct.pack_into("<IH", word, 0x11E, len(word), 5 + len(plc))
        word += b"\x02" + struct.pack("<I", len(plc)) + plc
    struct.pack_into("<I", word, 0x20, len(word))
    return bytes(word)


def ppt95_stream():
    """A PowerPoint 95 presentation's stream: 16-byte record headers (type,
    0xFFFF for a container, length, the tag of the parent's field), the
    whole in one container; three slides (text boxes, notes, a group of
    shapes), the masters' list, the notes master and the handout, fonts and
    the line-breaking strings, 8-bit text in Windows-1252."""
    def record(kind, body, tag=0, container=False):
        return struct.pack("<IIII", kind, 0xFFFF if container else 0, len(body), tag) + body

    def box(kind, children, tag=0):
        return record(kind, b"".join(children), tag, True)

    def shape(text, kind=0x0BC2):
        runs = box(0x07EC, [record(0x07EE, struct.pack("<I", len(text)) + bytes(20), 0x2F)], 0x2F)
        chars = box(0x0FE0, [record(0x07EE, text, 0x35), runs])
        body = box(0x0FA2, [record(0x0FA3, bytes(36)), record(0x0FB5, bytes(4)), chars])
        return box(kind, [record(0x0BC3, bytes(8)), record(0x0BC1, bytes(40)),
                          box(0x0FA1, [record(0x0FA0, bytes(16)), body], 0x1E)], 0x13)

    def slide(shapes, notes=()):
        return box(0x03EE, [record(0x03EF, bytes(8)), record(0x03ED, bytes(24)),
                            box(0x03F0, [record(0x03F1, bytes(4)), box(0x0BB8, notes, 0x14)], 0x25),
                            box(0x0BB8, shapes, 0x14),
                            box(0x1388, [record(0x1389, b"\1\0\0\0")], 0x36)], 0x10)

    font = box(0x0FB6, [record(0x0FB7, bytes(16) + b"\x90\x01" + bytes(9) + b"\x22"
                               + b"Arial".ljust(32, b"\0"))], 9)
    environment = box(0x03F2, [
        box(0x0FC8, [record(0x0FD2, bytes(4), 0x28), record(0x0FBA, b"\x81e\x81g", 4, True)], 6),
        box(0x07D5, [font, record(0x0FCA, b""), record(0x07E1, b"")], 0x19)], 0x15)
    group = box(0x0BB9, [record(0x0BC1, bytes(40)), box(0x07D0, [
        shape(b"Web server\rengine", 0x0BC0), shape(b"HTML", 0x0BC0)], 0x0F)], 0x13)
    slides = box(0x07D0, [
        record(0x07D1, struct.pack("<I", 3)),
        slide([shape(b"XML, HTML and All That"), shape(b"What do they mean?\r\rTel:  978-4548")],
              [shape(b"notes of the first slide")]),
        slide([shape(b"Overview"), shape(b"\rThe birth of HTML\x0bWhy \x93HTML\x94 \x85"), group]),
        slide([shape(b"Gr\xfc\xdfe \xa7 1 Abs. 2")])], 0x0A)
    masters = box(0x07D0, [
        record(0x07D1, struct.pack("<I", 2)),
        box(0x03F8, [box(0x0BB8, [shape(b"Click to edit Master title style")], 0x14)], 0x10),
        slide([shape(b"title master")])], 0x0B)
    document = box(0x03E8, [
        record(0x03E9, bytes(44)), environment, slides, masters,
        box(0x03F0, [box(0x0BB8, [shape(b"notes master")], 0x14)], 0x27),
        box(0x0FC9, [box(0x0BB8, [shape(b"handout")], 0x14)], 0x1B),
        box(0x07D0, [record(0x07D1, bytes(4))], 0x0C), record(0x0401, bytes(12), 0x0D),
        record(0x03EA, b"")])
    return box(0x0003, [document, record(0x000A, struct.pack("<II", 1, 441))])


def word2_seeds():
    runs = [b"caf\xe9 \x80 ", b"\x13 PAGE \x14" b"1\x15\r", b"cell\x07\x0b\x1e\r"]
    for name, fast_saved in (("word2", False), ("word2-fast", True)):
        word = word2_document(runs, fast_saved)
        write("msdoc", name, struct.pack("<I", len(word)) + word)


def biff_record(kind, body):
    return struct.pack("<HH", kind, len(body)) + body


def old_sheet(biff, records, kind=0x0010):
    """A sheet of Excel 2.x, 3.0 or 4.0 (`biff` 2, 3, 4): its BOF, `records`,
    its EOF."""
    bof = struct.pack("<HH", 0, kind) + (struct.pack("<H", 0x1000) if biff > 2 else b"")
    return biff_record({2: 0x0009, 3: 0x0209, 4: 0x0409}[biff], bof) + records + biff_record(0x000A, b"")


def old_label(biff, row, text):
    """A string cell: Excel 2.x's with three attribute bytes and an 8-bit
    count, the later ones' with a format index and a 16-bit count."""
    if biff == 2:
        return biff_record(0x0004, struct.pack("<HH3sB", row, 0, b"", len(text)) + text)
    return biff_record(0x0204, struct.pack("<HHHH", row, 0, 15, len(text)) + text)


def old_formula_string(biff, text):
    count = struct.pack("<B" if biff == 2 else "<H", len(text))
    return (biff_record({2: 0x0006, 3: 0x0206, 4: 0x0406}[biff], bytes(20)) +
            biff_record(0x0007 if biff == 2 else 0x0207, count + text))


def excel4_seeds():
    number = biff_record(0x0203, struct.pack("<HHH", 1, 1, 15) + struct.pack("<d", 42.0))
    cells = lambda biff: (old_label(biff, 0, b"caf\xe9 \x80") + number +
                          old_formula_string(biff, b"result"))
    write("msxls", "excel2", old_sheet(2, cells(2)))
    write("msxls", "excel3", old_sheet(3, biff_record(0x0042, struct.pack("<H", 1251)) +
                                       cells(3) + biff_record(0x00D6, struct.pack("<HHHH", 3, 0, 15, 4)
                                                              + b"rich" + bytes([1, 0, 0, 0, 5, 0]))))
    globals_ = (biff_record(0x0042, struct.pack("<H", 1252)) +
                biff_record(0x008F, struct.pack("<IH", 0, 0) + b"\x06Sheet1"))
    write("msxls", "excel4-workbook",
          old_sheet(4, globals_, 0x0100) + old_sheet(4, cells(4)) +
          old_sheet(4, old_label(4, 0, b"chart"), 0x0020) + old_sheet(4, old_label(4, 0, b"second")))


def xps_seeds():
    for path in sorted((REPO / "tests/data/dxfilter/xps").glob("*.*xps")):
        if path.stem in ("long", "many", "truncated") or path.stem.startswith("damaged"):
            continue
        with zipfile.ZipFile(path) as z:
            pages = [n for n in z.namelist() if n.lower().endswith(".fpage")]
            for i, name in enumerate(sorted(pages)[:2]):
                write("office", "%s-%d.fpage" % (path.stem, i + 1), z.read(name))


def pptx_seeds():
    # A presentation whose slides name their notes pages, read as probed.
    for path in sorted((DOCS.parent / "ppt").glob("*.pptx")):
        write("office", path.name, path.read_bytes())


def xlsb_seeds():
    for path in sorted((REPO / "tests/data/dxfilter/xlsb").glob("*.xlsb")):
        with zipfile.ZipFile(path) as z:
            names = z.namelist()
            shared = z.read("xl/sharedStrings.bin") if "xl/sharedStrings.bin" in names else b""
            sheets = sorted(n for n in names if n.startswith("xl/worksheets/") and n.endswith(".bin"))
            for i, name in enumerate(sheets):
                seed = b"XLSB" + struct.pack("<I", len(shared)) + shared + z.read(name)
                write("office", "%s-%d.xlsb-parts" % (path.stem, i + 1), seed[:MAX_SEED])


def lzx_seeds():
    sys.path.insert(0, str(REPO / "scripts"))
    import make_chm_fixtures as chm

    section = "::DataSpace/Storage/MSCompressed/"
    table_name = section + ("Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/"
                            "InstanceData/ResetTable")
    for name in ("en", "later"):
        data = (REPO / "tests/data/dxfilter/chm" / (name + ".chm")).read_bytes()
        _, content, size = chm.entry(data, section + "Content")
        _, control, _ = chm.entry(data, section + "ControlData")
        _, table, _ = chm.entry(data, table_name)
        version, reset, window, windows = struct.unpack_from("<4I", data, control + 8)
        if version == 2:
            reset, window = reset * 0x8000, window * 0x8000
        frames, _, at = struct.unpack_from("<3I", data, table + 4)
        starts = list(struct.unpack_from("<%dQ" % frames, data, table + at)) + [size]
        seed = bytes([window.bit_length() - 1 - 15, reset // (window // 2) * windows - 1])
        # (chmcmd lists a frame more than it writes, empty, at the end.)
        for start, end in zip(starts, starts[1:]):
            if start >= size:
                break
            seed += struct.pack("<H", end - start) + data[content + start:content + end]
        write("lzx", name, seed)


def pdf_seeds():
    import gi
    gi.require_version("Poppler", "0.18")
    from gi.repository import Poppler

    for path in sorted(DOCS.glob("*.pdf")):
        doc = Poppler.Document.new_from_file(path.resolve().as_uri(), None)
        if doc.get_n_pages() == 0:
            continue
        page = doc.get_page(0)
        text = page.get_text() or ""
        ok, rects = page.get_text_layout()
        if not text.strip():
            # A page poppler reads right to left selects from its top right corner.
            width, height = page.get_size()
            area = Poppler.Rectangle()
            area.x1, area.y1, area.x2, area.y2 = width, 0, 0, height
            text = page.get_text_for_area(area) or ""
            ok, rects = page.get_text_layout_for_area(area)
        boxes = b"".join(struct.pack("<4f", r.x1, r.y1, r.x2, r.y2) for r in rects or [])
        write("pdf_order", path.stem, b"\0" + text.encode() + b"\0" + boxes)


if __name__ == "__main__":
    office_seeds()
    word2_seeds()
    excel4_seeds()
    write("msppt", "ppt95", ppt95_stream())
    xps_seeds()
    xlsb_seeds()
    pptx_seeds()
    lzx_seeds()
    kinds = ["msdoc", "msxls", "msppt", "office", "lzx"]
    if "--no-pdf" not in sys.argv:
        pdf_seeds()
        kinds.append("pdf_order")
    remove_stale(kinds)
