#!/usr/bin/env python3
"""Makes the Apple iWork samples of tests/data/dxfilter/iwork/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the
table). Each is an iWork '09 package as a zip archive, the smallest document
libetonyek reads:

  en.pages          a Pages document (`index.xml`, with the
                    `buildVersionHistory.plist` iWork writes beside it): a
                    title and two paragraphs of body text
  de.key            a Keynote presentation (`index.apxl`): two slides, a
                    text shape each
  fr.key            a Keynote presentation whose main part is gzipped
                    (`index.apxl.gz`)
  ru.numbers        a Numbers document (`index.xml` and a `QuickLook/`
                    preview): a sheet with a table of text cells
  notext.pages      a Pages document without text
  truncated.pages   en.pages cut in half (no zip directory: a plain archive)
  damaged.key       de.key whose main part's compressed data is overwritten
  broken.pages      a package whose `index.xml` is not XML
  iwa.pages         the layout of a later iWork package (`Index/Document.iwa`
                    and its siblings) whose parts are not objects libetonyek
                    reads: recognised, no text
  index-only.zip    an archive of a lone `index.xml` (a web site's, say):
                    another zip archive
  en.pages.gz       en.pages in a gzip stream without name or time

and documents of iWork 2013 and later (`.iwa` parts: chunks of raw Snappy
blocks holding protocol buffer objects), in the layout Apple writes
(`Index/Document.iwa`, `Index/Metadata.iwa`, `Index/Slide-*.iwa`,
`Index/Tables/DataList-*.iwa`, `Metadata/`, previews), the parts stored:

  es.pages          a Pages document: a header storage before the body's,
                    a footnote and a table of contents (which the reader
                    leaves out)
  es-2013.pages     the same with its parts inside `Index.zip`, as the
                    first iWork 2013 releases wrote it
  it.key            a Keynote presentation of two slides whose parts are
                    in the archive in the opposite order of the show; the
                    first slide has presenter notes; a master slide holds
                    placeholder text (left out)
  pl.numbers        a Numbers document: a text box and a table's string
                    list (and a style list, which holds no text)
  badcopy.pages     es.pages whose first chunk copies from before its start
  cut.key           it.key with the first slide's part cut inside a chunk:
                    the second slide's text is read
  badvarint.numbers a Numbers document whose table part starts with a
                    varint of eleven bytes
  huge.pages        a Pages document whose object states a message of
                    4 GiB

and packages kept as a folder (`Name.pages/`), zipped with the folder at
the archive's root as the Finder's "Compress" writes them (an entry for
each folder, the AppleDouble files of `__MACOSX/` beside them):

  es-folder.pages.zip       es.pages's entries under `Informe.pages/`
  es-2013-folder.pages.zip  es-2013.pages's entries (`Index.zip`) under
                            `Informe.pages/`, with a `.DS_Store`
  de-folder.key.zip         de.key's entries (iWork '09) under `Garten.key/`
  two-packages.zip          es.pages's and de.key's entries under two
                            package folders: another zip archive
  lookalike.zip             es.pages's entries under `Informe-pages/`, a
                            folder that only looks like a package: another
                            zip archive
  de-copied.key.zip         de-folder.key.zip with the AppleDouble files
                            beside their files (`._Garten.key` at the root,
                            `Garten.key/._index.apxl`), as copies to a volume
                            without extended attributes leave them
  finder-only.zip           the `__MACOSX/` entries of de-folder.key.zip
                            alone: another zip archive

The Snappy blocks come from the small encoder below (literals and copies
of one and two offset bytes, greedy), the objects from the protocol buffer
encoder below; chunks hold 200 bytes, so objects straddle them. Their `.iwa`
parts are also written to tests/data/fuzz/iwa/, the seeds of fuzz_iwa.

The archives come from make_xps_fixtures.py's writer (Python's zipfile,
every entry of one fixed time, 2024-01-01, and mode) and the gzip streams
carry no name or time, so two runs write the same bytes. The sentences are
the project's own.
"""
import gzip
import os
import plistlib

from make_xps_fixtures import damage, write_zip, zip_bytes

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "iwork")
SEEDS = os.path.join(ROOT, "tests", "data", "fuzz", "iwa")  # fuzz_iwa's: the `.iwa` parts

SF = ('xmlns:sf="http://developer.apple.com/namespaces/sf" '
      'xmlns:sfa="http://developer.apple.com/namespaces/sfa"')
VERSION = "92008102400"  # the iWork '09 documents' version
PLIST = ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<array>\n'
         '<string>glotta fixture</string>\n</array>\n</plist>\n')

TEXTS = {
    "en": ["The harbour market",
           "Every Saturday the fishermen bring their boats into the harbour and "
           "sell the morning catch from wooden tables along the quay.",
           "The neighbours come early, because the best fish are gone before the "
           "church bell rings nine."],
    "de": ["Der Flussufer-Garten",
           "Am Flussufer pflanzen die Nachbarn jedes Frühjahr Bohnen, Kürbisse und "
           "Sonnenblumen in langen Reihen.",
           "Im Sommer sitzen sie abends zwischen den Beeten und erzählen sich "
           "Geschichten aus dem Dorf."],
    "fr": ["La boulangerie du village",
           "Chaque matin, le boulanger ouvre sa boutique avant le lever du soleil "
           "et range les baguettes dans les paniers.",
           "Les enfants s'arrêtent devant la vitrine en allant à l'école et "
           "choisissent des croissants encore chauds."],
    "ru": ["Зимняя дорога",
           "Зимой почтальон едет на санях через заснеженный лес и везёт письма",
           "в далёкую деревню за рекой.",
           "Вечером он греется у печки и рассказывает хозяйке о волках."],
}
WORDS = {"en": "fishermen", "de": "Flussufer", "fr": "boulanger", "ru": "почтальон"}


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def pages_xml(paragraphs):
    body = "".join("<sf:p>%s</sf:p>" % esc(p) for p in paragraphs)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<sl:document xmlns:sl="http://developer.apple.com/namespaces/sl" %s '
            'sl:version="%s">\n<sf:text-storage sf:kind="body"><sf:text-body>%s'
            '</sf:text-body></sf:text-storage>\n</sl:document>\n' % (SF, VERSION, body))


GEOMETRY = ('<sf:geometry><sf:naturalSize sfa:w="600" sfa:h="200"/><sf:size sfa:w="600" '
            'sfa:h="200"/><sf:position sfa:x="40" sfa:y="40"/></sf:geometry>')
PATH = ('<sf:path><sf:bezier-path><sf:bezier sfa:path="M 0 0 L 600 0 L 600 200 L 0 200 Z"/>'
        '</sf:bezier-path></sf:path>')


def drawables(inner):
    return "<sf:layers><sf:layer><sf:drawables>%s</sf:drawables></sf:layer></sf:layers>" % inner


def text_shape(paragraphs):
    body = "".join("<sf:p>%s</sf:p>" % esc(p) for p in paragraphs)
    return ('<sf:shape>%s%s<sf:text><sf:text-storage sf:kind="textbox"><sf:text-body>%s'
            '</sf:text-body></sf:text-storage></sf:text></sf:shape>' % (GEOMETRY, PATH, body))


def keynote_xml(slides):
    body = "".join("<key:slide><key:page>%s</key:page></key:slide>" % drawables(text_shape(s))
                   for s in slides)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<key:presentation xmlns:key="http://developer.apple.com/namespaces/keynote2" %s '
            'key:version="%s">\n<key:slide-list>%s</key:slide-list>\n</key:presentation>\n'
            % (SF, VERSION, body))


def numbers_xml(rows):
    """A sheet with one table; cells follow row by row (the first one placed
    with a cell move of 0, each next one in the next column)."""
    ncols = len(rows[0])
    columns = "".join('<sf:grid-column sf:width="200"/>' for _ in range(ncols))
    grid_rows = "".join('<sf:grid-row sf:height="20"/>' for _ in rows)
    cells = "".join('<sf:t%s><sf:ct sfa:s="%s"/></sf:t>'
                    % (' sf:ct="0"' if i == j == 0 else "", esc(c))
                    for i, r in enumerate(rows) for j, c in enumerate(r))
    table = ('<sf:tabular-info>%s<sf:tabular-model sf:name="Table 1" sf:num-header-rows="0" '
             'sf:num-header-columns="0"><sf:grid sf:numrows="%d" sf:numcols="%d">'
             '<sf:columns sf:count="%d">%s</sf:columns><sf:rows sf:count="%d">%s</sf:rows>'
             '<sf:datasource>%s</sf:datasource></sf:grid></sf:tabular-model></sf:tabular-info>'
             % (GEOMETRY, len(rows), ncols, ncols, columns, len(rows), grid_rows, cells))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<ls:document xmlns:ls="http://developer.apple.com/namespaces/ls" %s '
            'ls:version="%s"><ls:workspace-array><ls:workspace ls:workspace-name="Sheet 1">'
            '<ls:page-info>%s</ls:page-info></ls:workspace></ls:workspace-array>'
            '</ls:document>\n' % (SF, VERSION, drawables(table)))


# ---- iWork 2013 and later ---------------------------------------------------

IWA_TEXTS = {
    "es": {"title": "El mercado del puerto",
           "body": ["Cada sábado los pescadores llegan temprano al muelle y venden el "
                    "pescado fresco en mesas de madera.",
                    "Los vecinos compran sardinas y calamares antes de que suene la campana "
                    "de la iglesia."],
           "header": "Boletín del barrio",
           "footnote": "El mercado abre también los días de fiesta."},
    "it": {"slides": [["Il giardino sul fiume",
                       "Ogni primavera i vicini piantano fagioli, zucche e girasoli lungo "
                       "la riva."],
                      ["In estate si siedono la sera tra le aiuole e raccontano storie "
                       "del paese."]],
           "notes": "Ricordarsi di portare i semi e gli annaffiatoi.",
           "master": "Titolo della diapositiva"},
    "pl": {"box": "Plan zimowych dostaw",
           "cells": ["Zimowa droga", "Listonosz jedzie saniami przez zaśnieżony las",
                     "i wiezie listy do dalekiej wioski za rzeką.",
                     "Wieczorem grzeje się przy piecu i opowiada gospodyni o wilkach."]},
}
IWA_WORDS = {"es": "pescadores", "it": "girasoli", "pl": "Listonosz"}
CHUNK = 200  # decoded bytes per chunk (Apple's are up to 64 KiB)

# Message types and the storage kinds the fixtures use.
PAGES_DOCUMENT, KN_DOCUMENT, KN_SHOW, KN_SLIDE_NODE, KN_SLIDE = 10000, 1, 2, 4, 5
TN_DOCUMENT, TN_SHEET = 1, 2
STORAGE, DATA_LIST, PACKAGE_METADATA = 2001, 6005, 11006
BODY, HEADER, FOOTNOTE, TEXTBOX, NOTE, TOC = 0, 1, 2, 3, 4, 7


def varint(n):
    out = bytearray()
    while True:
        byte = n & 0x7F
        n >>= 7
        if n:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def pb_int(field, value):
    return varint(field << 3) + varint(value)


def pb_bytes(field, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    return varint(field << 3 | 2) + varint(len(data)) + data


def pb_ref(field, identifier):
    return pb_bytes(field, pb_int(1, identifier))


def storage(kind, text):
    return pb_int(1, kind) + pb_ref(2, 9) + pb_bytes(3, text) + pb_int(10, 1)


def archive(identifier, messages):
    """An object: its header (identifier, then per message its type, version
    and length) and its messages."""
    header = pb_int(1, identifier)
    for mtype, payload in messages:
        header += pb_bytes(2, pb_int(1, mtype) + pb_bytes(2, varint(1) + varint(0) + varint(5))
                           + pb_int(3, len(payload)))
    return varint(len(header)) + header + b"".join(p for _, p in messages)


def snappy_literal(data):
    n = len(data) - 1
    if n < 60:
        return bytes([n << 2]) + data
    size = (n.bit_length() + 7) // 8
    return bytes([(59 + size) << 2]) + n.to_bytes(size, "little") + data


def snappy_copy(offset, length):
    if 4 <= length <= 11 and offset < 2048:
        return bytes([1 | (length - 4) << 2 | (offset >> 8) << 5, offset & 0xFF])
    return bytes([2 | (length - 1) << 2]) + offset.to_bytes(2, "little")


def snappy(data):
    """A raw Snappy block: greedy matches of four bytes or more found through
    the last position of each four bytes, copies of at most 64 bytes."""
    out = bytearray(varint(len(data)))
    last, literal, i = {}, 0, 0
    while i + 4 <= len(data):
        key = data[i:i + 4]
        cand = last.get(key)
        last[key] = i
        if cand is None or i - cand >= 65536:
            i += 1
            continue
        length = 4
        while i + length < len(data) and length < 64 and data[cand + length] == data[i + length]:
            length += 1
        if literal < i:
            out += snappy_literal(data[literal:i])
        out += snappy_copy(i - cand, length)
        i += length
        literal = i
    if literal < len(data):
        out += snappy_literal(data[literal:])
    return bytes(out)


def chunk(block):
    return bytes([0]) + len(block).to_bytes(3, "little") + block


def iwa(objects):
    stream = b"".join(archive(i, m) for i, m in objects)
    return b"".join(chunk(snappy(stream[at:at + CHUNK])) for at in range(0, len(stream), CHUNK))


METADATA = iwa([(2, [(PACKAGE_METADATA, pb_int(1, 2000) + pb_bytes(3, pb_int(1, 1)
                                                                     + pb_bytes(2, "Document")))])])
JPEG = b"\xff\xd8\xff\xd9"


def properties(uuid):
    return plistlib.dumps({"documentUUID": uuid, "fileFormatVersion": "14.1.1",
                           "isMultiPage": False, "revision": "glotta"},
                          fmt=plistlib.FMT_BINARY, sort_keys=True)


def iwa_package(parts, uuid):
    """The entries of a package: `parts` ((name under Index/, bytes)) and
    what Apple writes beside them."""
    entries = [("Index/%s.iwa" % name, data) for name, data in parts]
    entries.append(("Index/Metadata.iwa", METADATA))
    entries += [("Metadata/Properties.plist", properties(uuid)),
                ("Metadata/DocumentIdentifier", uuid),
                ("Metadata/BuildVersionHistory.plist", PLIST),
                ("preview.jpg", JPEG), ("preview-micro.jpg", JPEG)]
    return entries


def stored_names(entries):
    return [name for name, _ in entries
            if name.endswith(".iwa") or name.rsplit("/", 1)[-1] == "Index.zip"]


# The head of an AppleDouble file (its magic, version and filler) that the
# Finder writes under `__MACOSX/` for a file with extended attributes.
APPLE_DOUBLE = b"\x00\x05\x16\x07\x00\x02\x00\x00" + b"Mac OS X        " + b"\x00\x00"


def in_folder(folder, entries, extra=()):
    """`entries` under `folder/`, as the Finder zips a folder: an entry for
    the folder and each folder inside it before its files, `extra` root
    entries, then the AppleDouble file of the folder's first file."""
    out, seen = [], set()
    for name, data in entries:
        parts = name.split("/")[:-1]
        for i in range(len(parts) + 1):
            d = "/".join([folder] + parts[:i]) + "/"
            if d not in seen:
                seen.add(d)
                out.append((d, b""))
        out.append(("%s/%s" % (folder, name), data))
    first = entries[0][0].rsplit("/", 1)
    double = "/".join(first[:-1] + ["._" + first[-1]])
    out += list(extra) + [("__MACOSX/", b""), ("__MACOSX/%s/" % folder, b""),
                          ("__MACOSX/%s/%s" % (folder, double), APPLE_DOUBLE)]
    return out


def pages_parts():
    t = IWA_TEXTS["es"]
    body = "\n".join([t["title"]] + t["body"]) + "\ufffc\n"
    document = pages_document(body, t)
    return [("Document", document)]


def pages_document(body, t):
    return iwa([
        (1, [(PAGES_DOCUMENT, pb_ref(4, 12) + pb_ref(2, 9))]),
        (11, [(STORAGE, storage(HEADER, t["header"]))]),
        (12, [(STORAGE, storage(BODY, body))]),
        (13, [(STORAGE, storage(FOOTNOTE, t["footnote"]))]),
        (14, [(STORAGE, storage(TOC, t["title"]))]),
    ])


def keynote_parts():
    t = IWA_TEXTS["it"]
    (title, line), (second,) = t["slides"]
    document = iwa([
        (1, [(KN_DOCUMENT, pb_ref(2, 3))]),
        (3, [(KN_SHOW, pb_ref(2, 4) + pb_bytes(3, pb_ref(2, 20) + pb_ref(2, 21)))]),
        (20, [(KN_SLIDE_NODE, pb_ref(2, 101) + pb_int(4, 0))]),
        (21, [(KN_SLIDE_NODE, pb_ref(2, 100) + pb_int(4, 0))]),
    ])
    master = iwa([(50, [(KN_SLIDE, pb_bytes(10, "Titolo"))]),
                  (51, [(STORAGE, storage(TEXTBOX, t["master"]))])])
    # Archive order: the second slide's part first.
    slide2 = iwa([(100, [(KN_SLIDE, pb_ref(17, 50))]),
                  (110, [(STORAGE, storage(TEXTBOX, second))])])
    slide1 = iwa([(101, [(KN_SLIDE, pb_ref(17, 50) + pb_ref(27, 122))]),
                  (120, [(STORAGE, storage(NOTE, t["notes"]))]),
                  (121, [(STORAGE, storage(TEXTBOX, title))]),
                  (123, [(STORAGE, storage(TEXTBOX, line))])])
    return [("Document", document), ("MasterSlide-50", master), ("Slide-100", slide2),
            ("Slide-101", slide1)]


def numbers_parts(datalist=None):
    t = IWA_TEXTS["pl"]
    document = iwa([(1, [(TN_DOCUMENT, pb_ref(1, 2))]),
                    (2, [(TN_SHEET, pb_bytes(1, "Arkusz 1"))])]
                   + ([(3, [(STORAGE, storage(TEXTBOX, t["box"]))])] if datalist is None else []))
    entries = b"".join(pb_bytes(3, pb_int(1, i + 1) + pb_int(2, 1) + pb_bytes(3, c))
                       for i, c in enumerate(t["cells"]))
    strings = pb_int(1, 1) + pb_int(2, len(t["cells"]) + 1) + entries
    styles = pb_int(1, 4) + pb_int(2, 2) + pb_bytes(3, pb_int(1, 1) + pb_int(2, 1)
                                                   + pb_bytes(3, "nie tekst") + pb_ref(4, 7))
    if datalist is None:
        datalist = iwa([(900, [(DATA_LIST, strings)]), (901, [(DATA_LIST, styles)])])
    return [("Document", document), ("Tables/DataList-900", datalist)]


def bad_copy_part():
    """A chunk that states 40 bytes: a literal of two, then a copy from
    500 bytes back."""
    block = varint(40) + snappy_literal(b"ab") + snappy_copy(500, 38)
    return chunk(block)


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = []

    def out(name):
        return os.path.join(OUT, name)

    def write(name, data, code, word):
        with open(out(name), "wb") as f:
            f.write(data)
        rows.append((name, code, word))

    def package(name, entries, code, word):
        rows.append((name, code, word))
        return write_zip(out(name), entries)

    en = package("en.pages", [("index.xml", pages_xml(TEXTS["en"])),
                              ("buildVersionHistory.plist", PLIST)], 362, WORDS["en"])
    de = package("de.key", [("index.apxl", keynote_xml([TEXTS["de"][:2], TEXTS["de"][2:]]))],
                 362, WORDS["de"])
    fr_xml = keynote_xml([TEXTS["fr"][:2], TEXTS["fr"][2:]]).encode()
    package("fr.key", [("index.apxl.gz", gzip.compress(fr_xml, 9, mtime=0))], 362, WORDS["fr"])
    ru = TEXTS["ru"]
    package("ru.numbers", [("index.xml", numbers_xml([ru[:2], ru[2:]])),
                           ("QuickLook/Thumbnail.jpg", b"\xff\xd8\xff\xd9")], 362, WORDS["ru"])
    package("notext.pages", [("index.xml", pages_xml([])),
                             ("buildVersionHistory.plist", PLIST)], 362, "-")
    write("truncated.pages", en[:len(en) // 2], 341, "-")
    write("damaged.key", damage(de, "index.apxl"), 362, "-")
    package("broken.pages", [("index.xml", "not a document\n" * 20),
                             ("buildVersionHistory.plist", PLIST)], 362, "-")
    package("iwa.pages", [("Index/Document.iwa", b"\x00\x05\x00\x00" + b"\x00" * 5),
                          ("Index/Metadata.iwa", b"\x00\x05\x00\x00" + b"\x00" * 5),
                          ("buildVersionHistory.plist", PLIST)], 362, "-")
    package("index-only.zip", [("index.xml", pages_xml(TEXTS["en"]))], 341, "-")
    write("en.pages.gz", gzip.compress(en, 9, mtime=0), 347, WORDS["en"])

    os.makedirs(SEEDS, exist_ok=True)
    seeds = set()

    def later(name, parts, uuid, word):
        for part, data in parts:
            if data in seeds:
                continue
            seeds.add(data)
            with open(os.path.join(SEEDS, "%s-%s.iwa" % (name.replace(".", "-"),
                                                        part.replace("/", "-"))), "wb") as f:
                f.write(data)
        entries = iwa_package(parts, uuid)
        rows.append((name, 362, word))
        return write_zip(out(name), entries, stored=stored_names(entries))

    uuid = "6B1E2D0C-5A47-4F0E-9C1B-%012d"
    later("es.pages", pages_parts(), uuid % 1, IWA_WORDS["es"])
    nested = iwa_package([], uuid % 2)
    inner = ([("Index/%s.iwa" % n, d) for n, d in pages_parts()]
             + [e for e in nested if e[0] == "Index/Metadata.iwa"])
    index = zip_bytes(inner, stored=stored_names(inner))
    nested = [("Index.zip", index)] + [e for e in nested if not e[0].startswith("Index/")]
    rows.append(("es-2013.pages", 362, IWA_WORDS["es"]))
    write_zip(out("es-2013.pages"), nested, stored=["Index.zip"])
    later("it.key", keynote_parts(), uuid % 3, IWA_WORDS["it"])
    later("pl.numbers", numbers_parts(), uuid % 4, IWA_WORDS["pl"])
    later("badcopy.pages", [("Document", bad_copy_part() + pages_parts()[0][1])], uuid % 5, "-")
    parts = keynote_parts()
    parts[3] = (parts[3][0], parts[3][1][:len(parts[3][1]) // 2])
    later("cut.key", parts, uuid % 6, "estate")
    bad = chunk(snappy(b"\xff" * 11 + b"\x01"))
    later("badvarint.numbers", numbers_parts(bad), uuid % 7, "-")
    header = pb_int(1, 1) + pb_bytes(2, pb_int(1, STORAGE) + pb_int(3, 0xFFFFFFFF))
    stream = varint(len(header)) + header + storage(BODY, "Un documento demasiado largo.")
    later("huge.pages", [("Document", chunk(snappy(stream)))], uuid % 8, "-")

    # Packages kept as folders, zipped.
    es_entries = iwa_package(pages_parts(), uuid % 1)

    def zipped(name, entries, code, word):
        rows.append((name, code, word))
        write_zip(out(name), entries, stored=stored_names(entries))

    zipped("es-folder.pages.zip", in_folder("Informe.pages", es_entries), 362, IWA_WORDS["es"])
    zipped("es-2013-folder.pages.zip",
           in_folder("Informe.pages", nested, [(".DS_Store", b"\x00\x00\x00\x01Bud1")]), 362,
           IWA_WORDS["es"])
    de_entries = [("index.apxl", keynote_xml([TEXTS["de"][:2], TEXTS["de"][2:]])),
                  ("QuickLook/Thumbnail.jpg", JPEG)]
    zipped("de-folder.key.zip", in_folder("Garten.key", de_entries), 362, WORDS["de"])
    zipped("two-packages.zip",
           in_folder("Informe.pages", es_entries)[:-3] + in_folder("Garten.key", de_entries), 341,
           "-")
    zipped("lookalike.zip", in_folder("Informe-pages", es_entries), 341, "-")
    copied = in_folder("Garten.key", de_entries + [("._index.apxl", APPLE_DOUBLE)],
                       [("._Garten.key", APPLE_DOUBLE)])
    zipped("de-copied.key.zip", copied, 362, WORDS["de"])
    zipped("finder-only.zip", [e for e in copied if e[0].startswith("__MACOSX/")], 341, "-")

    for name, code, word in rows:
        print("iwork/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
