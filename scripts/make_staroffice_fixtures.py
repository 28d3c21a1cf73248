#!/usr/bin/env python3
"""Makes the OpenOffice.org 1.x (StarOffice 6 and 7) samples of
tests/data/dxfilter/staroffice/ and prints their rows of formats.tsv
(make_filter_fixtures.sh appends them to the table). Each is a zip package
as OpenOffice.org 1.x wrote it: its `mimetype` entry first and stored,
`content.xml`, `styles.xml` (a page header and footer), `meta.xml` (a
title and a language) and a manifest of the 2001 manifest namespace with
its document type declaration; `content.xml` has the 2000 namespaces and
their older element names.

  de.sxw          a text document: a heading, paragraphs with a tab
                  (`text:tab-stop`), runs of spaces, a line break, a
                  footnote and an endnote (`text:footnote-citation`,
                  `text:footnote-body` …), a comment, a deleted change, a
                  table with a text and a number cell, a text frame
  fr.stw          a text document template, its prefixes not the usual ones
  es.sxc          a spreadsheet of two sheets: text cells, numbers, a date,
                  a cell comment
  ru.sxi          a presentation of two slides with speaker notes
  en.sxd          a drawing of two pages: a text box, an ellipse and a
                  rectangle with text, a connector without text
  fr-manifest.sxw fr.stw's text as a text document without a `mimetype`
                  entry: its manifest tells the kind
  de-folder.zip   de.sxw zipped as its folder `Bericht/`
  formula.sxm     a formula: no text the filter reads (another zip archive)

damaged packages (tests/data/dxfilter/staroffice/bad/):

  de-cut.sxw      de.sxw cut in the middle of `content.xml`
  de-crc.sxw      de.sxw whose `content.xml` bytes are overwritten
  spaces.sxw      a text document whose one paragraph runs on for 65 MiB
                  of spaces (64 KiB deflated) past a first sentence
  nested.sxw      a text document whose second paragraph nests 100,000
                  spans
  huge.sxw        de.sxw whose `content.xml` claims nearly 4 GiB once
                  inflated

and seeds of the office fuzz target (tests/data/dxfilter/staroffice/stored/):
de.sxw, ru.sxi and fr-manifest.sxw with every entry stored, so that
mutations reach `content.xml` and the manifest rather than the checksums of
deflated bytes.

StarOffice 3 to 5 documents, the seeds of the staroffice5 fuzz target
(tests/data/fuzz/staroffice5/): compound files (scripts/fixtures/cfb.py)
around the application's document stream, written as libstaroffice reads
it, so that mutations reach its records rather than the container:

  de.sdw          StarWriter 5 (`SW5HDR`, Windows-1252): a string pool and
                  three paragraphs, one with a tab, one with a line break
  fr-sw3.sdw      StarWriter 3 (`SW3HDR`, an older record layout)
  ru.sdw          StarWriter 5 in Windows-1251
  locked.sdw      de.sdw with the header's password flag (refused at open)
  es.sdc          StarCalc: a charset record and two sheets of text and
                  number cells in columns
  locked.sdc      es.sdc without the `B` of a plain stream (refused)
  empty.sda       a StarDraw 4/5 stream of its mark alone
  empty.sdd       the same in a StarImpress presentation (told by the
                  clipboard name of `CompObj`)
  old.sda         the same as a StarDraw 3.0 stream

Python's zipfile writes every entry with one fixed time and mode (the
writer of make_xps_fixtures.py), so two runs write the same bytes. The
sentences are the project's own.
"""
import os
import struct
import sys
import zlib

from make_xps_fixtures import damage, write_zip

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import cfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "staroffice")
FUZZ_SEEDS = os.path.join(ROOT, "tests", "data", "fuzz", "staroffice5")
SEEDS = os.path.join(OUT, "stored")
MIME = "application/vnd.sun.xml."

# The namespaces of OpenOffice.org 1.x; `prefixes` renames them.
NAMESPACES = (
    ("office", "http://openoffice.org/2000/office"),
    ("style", "http://openoffice.org/2000/style"),
    ("text", "http://openoffice.org/2000/text"),
    ("table", "http://openoffice.org/2000/table"),
    ("draw", "http://openoffice.org/2000/drawing"),
    ("presentation", "http://openoffice.org/2000/presentation"),
    ("fo", "http://www.w3.org/1999/XSL/Format"),
    ("xlink", "http://www.w3.org/1999/xlink"),
    ("number", "http://openoffice.org/2000/datastyle"),
    ("svg", "http://www.w3.org/2000/svg"),
    ("dc", "http://purl.org/dc/elements/1.1/"),
    ("meta", "http://openoffice.org/2000/meta"),
)

TEXTS = {
    "de": ("Bericht über den Gemeindegarten",
           "Im Frühjahr haben die Nachbarn neue Beete am Rand des Spielplatzes angelegt.",
           "Die Kinder gießen jeden Abend die Bohnen und zählen die ersten Blüten.",
           "Im Herbst wollen wir die Ernte gemeinsam auf dem Marktplatz verteilen."),
    "fr": ("Lettre aux habitants du quartier",
           "La bibliothèque municipale ouvrira ses portes le samedi matin dès neuf heures.",
           "Les enfants pourront emprunter trois livres et participer à l'atelier de dessin.",
           "Merci de rapporter les ouvrages prêtés avant la fin du mois."),
    "es": ("Cuentas de la cooperativa",
           "La cosecha de aceitunas fue mejor que la del año pasado gracias a las lluvias.",
           "Los socios decidieron comprar una prensa nueva para el molino del pueblo.",
           "El aceite se venderá en la feria regional durante el mes de diciembre."),
    "ru": ("Поездка на озеро",
           "В субботу мы поедем на автобусе к большому озеру за городом.",
           "Возьмите с собой тёплую куртку, потому что вечером там бывает холодно.",
           "После обеда учитель покажет детям старую мельницу на берегу."),
    "en": ("The village bakery",
           "The baker lights the oven long before the sun rises over the hills.",
           "By seven o'clock the shelves are full of warm bread and sweet rolls.",
           "Children stop at the window on their way to school to watch the dough."),
}


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def xmlns(prefixes=None):
    prefixes = prefixes or {}
    return " ".join('xmlns:%s="%s"' % (prefixes.get(name, name), uri) for name, uri in NAMESPACES)


def renamed(xml, prefixes):
    """`xml` with the usual prefixes of its names replaced by `prefixes`."""
    for old, new in prefixes.items():
        xml = xml.replace("<%s:" % old, "<%s:" % new).replace("</%s:" % old, "</%s:" % new)
        xml = xml.replace(" %s:" % old, " %s:" % new)
    return xml


def content(kind, body, prefixes=None):
    xml = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<!DOCTYPE office:document-content PUBLIC "-//OpenOffice.org//DTD OfficeDocument '
           '1.0//EN" "office.dtd">\n'
           '<office:document-content %s office:class="%s" office:version="1.0">'
           '<office:script/><office:font-decls><style:font-decl style:name="Thorndale" '
           'fo:font-family="Thorndale" style:font-family-generic="roman"/></office:font-decls>'
           '<office:automatic-styles><style:style style:name="P1" style:family="paragraph">'
           '<style:properties><style:tab-stops><style:tab-stop style:position="4cm"/>'
           '</style:tab-stops></style:properties></style:style></office:automatic-styles>'
           '<office:body>%s</office:body></office:document-content>' % ("%s", kind, body))
    return renamed(xml, prefixes or {}) % xmlns(prefixes)


def styles(header, footer):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE office:document-styles PUBLIC "-//OpenOffice.org//DTD OfficeDocument '
            '1.0//EN" "office.dtd">\n'
            '<office:document-styles %s office:version="1.0"><office:styles>'
            '<style:default-style style:family="paragraph"/></office:styles>'
            '<office:master-styles><style:master-page style:name="Standard">'
            '<style:header><text:p>%s</text:p></style:header>'
            '<style:footer><text:p>%s</text:p></style:footer></style:master-page>'
            '</office:master-styles></office:document-styles>'
            % (xmlns(), esc(header), esc(footer)))


def meta(title, language):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE office:document-meta PUBLIC "-//OpenOffice.org//DTD OfficeDocument '
            '1.0//EN" "office.dtd">\n'
            '<office:document-meta %s office:version="1.0"><office:meta>'
            '<meta:generator>make_staroffice_fixtures</meta:generator><dc:title>%s</dc:title>'
            '<dc:language>%s</dc:language></office:meta></office:document-meta>'
            % (xmlns(), esc(title), language))


def manifest(kind):
    entries = [("/", MIME + kind), ("content.xml", "text/xml"), ("styles.xml", "text/xml"),
               ("meta.xml", "text/xml")]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<!DOCTYPE manifest:manifest PUBLIC "-//OpenOffice.org//DTD Manifest 1.0//EN" '
            '"Manifest.dtd">\n'
            '<manifest:manifest xmlns:manifest="http://openoffice.org/2001/manifest">\n%s'
            '</manifest:manifest>\n'
            % "".join(' <manifest:file-entry manifest:media-type="%s" manifest:full-path="%s"/>\n'
                      % (media, path) for path, media in entries))


def package_entries(kind, cls, body, lang, meta_title, with_mimetype=True, prefixes=None):
    entries = [("mimetype", MIME + kind)] if with_mimetype else []
    return entries + [
        ("content.xml", content(cls, body, prefixes)),
        ("styles.xml", styles("Kopfzeile der Seite" if lang == "de" else "En-tête de la page",
                              "Fußzeile der Seite" if lang == "de" else "Pied de la page")),
        ("meta.xml", meta(meta_title, lang)),
        ("META-INF/manifest.xml", manifest(kind)),
    ]


def p(text):
    return "<text:p>%s</text:p>" % esc(text)


def german_text_body():
    title, s1, s2, s3 = TEXTS["de"]
    return (
        '<text:sequence-decls><text:sequence-decl text:display-outline-level="0" '
        'text:name="Table"/></text:sequence-decls>'
        '<text:tracked-changes><text:changed-region text:id="ct1"><text:deletion>'
        '<office:change-info office:chg-author="Redaktion"/>'
        '<text:p>Dieser Satz wurde gestrichen.</text:p></text:deletion></text:changed-region>'
        '</text:tracked-changes>'
        '<text:h text:level="1">%s</text:h>'
        '<text:p text:style-name="P1">Ort:<text:tab-stop/>Lindenstraße<text:s text:c="3"/>'
        '12<text:line-break/>%s<text:footnote text:id="ftn1"><text:footnote-citation>1'
        '</text:footnote-citation><text:footnote-body><text:p>Die Stadt stellt das Wasser.'
        '</text:p></text:footnote-body></text:footnote></text:p>'
        '<text:p>%s<office:annotation office:author="Redaktion"><text:p>Bitte noch prüfen.'
        '</text:p></office:annotation></text:p>'
        '<table:table table:name="Tabelle1"><table:table-column/><table:table-column/>'
        '<table:table-row><table:table-cell table:value-type="string"><text:p>Bohnen</text:p>'
        '</table:table-cell><table:table-cell table:value-type="float" table:value="42">'
        '<text:p>42</text:p></table:table-cell></table:table-row></table:table>'
        '<text:p><draw:text-box draw:name="Rahmen1" text:anchor-type="paragraph" '
        'svg:width="6cm" svg:height="2cm"><text:p>Treffpunkt am Gartentor</text:p>'
        '</draw:text-box>%s<text:endnote text:id="edn1"><text:endnote-citation>i'
        '</text:endnote-citation><text:endnote-body><text:p>Samen gibt es im Rathaus.</text:p>'
        '</text:endnote-body></text:endnote></text:p>'
        % (esc(title), esc(s1), esc(s2), esc(s3)))


def letter_body(lang):
    title, s1, s2, s3 = TEXTS[lang]
    return ('<text:sequence-decls/><text:h text:level="1">%s</text:h>%s%s%s'
            % (esc(title), p(s1), p(s2), p(s3)))


def sheet_body(lang):
    title, s1, s2, s3 = TEXTS[lang]

    def row(*cells):
        return "<table:table-row>%s</table:table-row>" % "".join(cells)

    def text_cell(t, note=""):
        return ('<table:table-cell table:value-type="string">%s<text:p>%s</text:p>'
                '</table:table-cell>' % (note, esc(t)))

    def number_cell(n):
        return ('<table:table-cell table:value-type="float" table:value="%d"><text:p>%d</text:p>'
                '</table:table-cell>' % (n, n))

    date = ('<table:table-cell table:value-type="date" table:date-value="2004-12-01">'
            '<text:p>01.12.04</text:p></table:table-cell>')
    note = ('<office:annotation office:display="false"><text:p>Revisar con el tesorero.'
            '</text:p></office:annotation>')
    first = ('<table:table table:name="Cosecha"><table:table-column '
             'table:number-columns-repeated="2"/>%s%s%s</table:table>'
             % (row(text_cell(title, note), number_cell(2004)), row(text_cell(s1), number_cell(1250)),
                row(text_cell(s2), date)))
    second = ('<table:table table:name="Feria">%s<table:table-row table:number-rows-repeated="3">'
              '<table:table-cell table:number-columns-repeated="2"/></table:table-row>'
              '</table:table>' % row(text_cell(s3), '<table:covered-table-cell/>'))
    return first + second


def text_box(text, y):
    return ('<draw:text-box draw:style-name="gr1" svg:x="2cm" svg:y="%s" svg:width="20cm" '
            'svg:height="3cm">%s</draw:text-box>' % (y, p(text)))


def two_pages(first, second):
    return "".join('<draw:page draw:name="page%d" draw:master-page-name="Default">%s</draw:page>'
                   % (n, shapes) for n, shapes in ((1, first), (2, second)))


def slides_body(lang):
    title, s1, s2, s3 = TEXTS[lang]
    notes = ('<presentation:notes><draw:page-thumbnail draw:page-number="1"/>%s'
             '</presentation:notes>' % text_box(s2, "14cm"))
    return two_pages(text_box(title, "1cm") + text_box(s1, "5cm") + notes, text_box(s3, "1cm"))


def drawing_body(lang):
    title, s1, s2, s3 = TEXTS[lang]
    ellipse = ('<draw:ellipse draw:style-name="gr1" svg:x="2cm" svg:y="5cm" svg:width="10cm" '
               'svg:height="4cm">%s</draw:ellipse>' % p(s1))
    rect = ('<draw:rect draw:style-name="gr1" svg:x="2cm" svg:y="2cm" svg:width="12cm" '
            'svg:height="4cm">%s%s</draw:rect><draw:connector draw:style-name="gr1" '
            'svg:x1="1cm" svg:y1="1cm" svg:x2="5cm" svg:y2="5cm"/>' % (p(s2), p(s3)))
    return two_pages(text_box(title, "1cm") + ellipse, rect)


def as_folder(top, entries):
    return [(top, b"")] + [(top + name, data) for name, data in entries]


def with_declared_size(data, entry, size):
    """`data` whose local and central records of `entry` claim `size`
    bytes once inflated."""
    out = bytearray(data)
    name = entry.encode()
    # (signature, where the name starts, where the inflated size is)
    for signature, name_at, size_at in ((b"PK\x03\x04", 30, 22), (b"PK\x01\x02", 46, 24)):
        at = out.index(signature)
        while out[at + name_at:at + name_at + len(name)] != name:
            at = out.index(signature, at + 4)
        struct.pack_into("<I", out, at + size_at, size)
    return bytes(out)


def bad(out, rows, whole):
    """Damaged packages, and packages that would take without bound."""
    at = whole.index(b"content.xml") + 400
    with open(out("bad/de-cut.sxw"), "wb") as f:
        f.write(whole[:at])
    rows.append(("bad/de-cut.sxw", 304, "-"))
    with open(out("bad/de-crc.sxw"), "wb") as f:
        f.write(damage(whole, "content.xml"))
    rows.append(("bad/de-crc.sxw", 304, "-"))
    with open(out("bad/huge.sxw"), "wb") as f:
        f.write(with_declared_size(whole, "content.xml", 0xFFFFFFF0))
    rows.append(("bad/huge.sxw", 304, "-"))

    title, s1, s2, s3 = TEXTS["en"]
    spaces = ("<text:h text:level=\"1\">%s</text:h><text:p>%s%s</text:p>%s"
              % (esc(title), esc(s1), " " * (65 << 20), p(s2)))
    write_zip(out("bad/spaces.sxw"),
              [("mimetype", MIME + "writer"), ("content.xml", content("text", spaces)),
               ("META-INF/manifest.xml", manifest("writer"))], stored=("mimetype",))
    rows.append(("bad/spaces.sxw", 304, "-"))
    nested = ("<text:h text:level=\"1\">%s</text:h>%s<text:p>%s%s%s</text:p>%s"
              % (esc(title), p(s1), "<text:span>" * 100000, esc(s2), "</text:span>" * 100000,
                 p(s3)))
    write_zip(out("bad/nested.sxw"),
              [("mimetype", MIME + "writer"), ("content.xml", content("text", nested)),
               ("META-INF/manifest.xml", manifest("writer"))], stored=("mimetype",))
    rows.append(("bad/nested.sxw", 304, "-"))


# StarOffice 3 to 5 documents. Every number is little-endian.

def sw_record(kind, body):
    """A StarWriter record: its letter, then its size (with this header) in
    the upper 24 bits of the same 32-bit word."""
    return struct.pack("<I", ord(kind) | (len(body) + 4) << 8) + body


def sw_flags(body):
    """A flag byte whose low nibble is the length of the bytes that follow."""
    return bytes([len(body)]) + body


def star_string(text, codec):
    return struct.pack("<H", len(text.encode(codec))) + text.encode(codec)


def star_writer(paragraphs, major=5, version=0x0200, charset=1, codec="cp1252", locked=False):
    """A `StarWriterDocument` stream: the header (`SW<major>HDR`, the
    document version that chooses the layout of later records, the password
    flag, the character set), the string pool of paragraph styles and the
    contents record of one text node per paragraph."""
    header = (b"SW%dHDR\0" % major + bytes([0x2e])
              + struct.pack("<HHII", version, 8 if locked else 0, 0, 0) + bytes(24)
              + bytes([charset, 0]) + struct.pack("<II", 0, 0))
    styles = ["Standard", "Heading"]
    if version < 3:
        pool = struct.pack("<H", len(styles)) + b"".join(star_string(n, codec) for n in styles)
    else:
        pool = bytes([charset]) + struct.pack("<H", len(styles)) + b"".join(
            struct.pack("<H", i) + star_string(n, codec) for i, n in enumerate(styles))
    # A text node: the style's index in the pool, from version 0x19 a
    # conditional style, then the text.
    cond = struct.pack("<H", 0) if version >= 0x101 or 0x19 <= version < 0x22 else b""
    nodes = b"".join(
        sw_record("T", sw_flags(struct.pack("<H", i % 2) + cond) + star_string(p, codec))
        for i, p in enumerate(paragraphs))
    count = struct.pack("<H", len(paragraphs))
    contents = sw_flags(struct.pack("<H", 0xFFFF) + count) if version >= 5 else count
    return header + sw_record("!", pool) + sw_record("N", contents + nodes)


def sc_record(ident, body):
    """A StarCalc record: its 16-bit identifier, then the size of its body."""
    return struct.pack("<HI", ident, len(body)) + body


def sc_multi_record(ident, entries, head=b""):
    """A record of several entries (after `head`), the table of their sizes
    behind it."""
    return (sc_record(ident, head + b"".join(entries))
            + struct.pack("<HI", 0x4200, 4 * len(entries))
            + b"".join(struct.pack("<I", len(e)) for e in entries))


def star_calc(sheets, codec="cp1252", locked=False):
    """A `StarCalcDocument` stream: the document record holds a charset record
    and one table record per sheet (its name, then its columns, each a data
    record of text and number cells by row)."""
    def cell(row, value):  # its row, its kind (1 a number, 2 a text), its value
        if isinstance(value, str):
            return struct.pack("<HB", row, 2) + star_string(value, codec)
        return struct.pack("<HBd", row, 1, value)

    def column(cells):  # no cell needs an entry of its own (formulas do)
        return sc_multi_record(0x4250, [], struct.pack("<H", len(cells))
                               + b"".join(cell(r, v) for r, v in cells))

    def table(name, columns):
        # The name, comment and password, each but the last before a flag.
        options = sc_record(0x4242, star_string(name, codec) + b"\0" + star_string("", codec)
                            + b"\0" + star_string("", codec) + b"\0")
        return sc_record(0x4222, options + sc_multi_record(0x4240, [column(c) for c in columns]))

    body = sc_record(0x422C, bytes([0, 1])) + b"".join(table(n, c) for n, c in sheets)
    # A locked stream's identifier is masked: its high byte is no longer `B`.
    return sc_record(0x2D20 if locked else 0x4220, body)


def comp_obj(name):
    """A `CompObj` stream: its header, a zero class id, then the user type,
    the clipboard format's name (which tells StarImpress from StarDraw) and
    the program id, each after its 32-bit length."""
    def string(text):
        return struct.pack("<I", len(text) + 1) + text.encode("ascii") + b"\0"

    return (struct.pack("<HHIi", 1, 0xFFFE, 0x0A03, -1) + bytes(16) + string(name) + string(name)
            + string("") + struct.pack("<I", 0x71B239F4) + bytes(12))


def star_office_seeds():
    os.makedirs(FUZZ_SEEDS, exist_ok=True)
    de, fr, es, ru = TEXTS["de"], TEXTS["fr"], TEXTS["es"], TEXTS["ru"]
    german = [de[0], de[1] + "\t" + de[2], de[3] + "\n" + de[1]]
    sheets = [(es[0], [[(0, es[1]), (1, 2004.0), (2, es[2])], [(0, "Año"), (2, 1250.5)]]),
              ("Feria", [[(3, es[3])]])]
    seeds = {
        "de.sdw": {"StarWriterDocument": star_writer(german)},
        "fr-sw3.sdw": {"StarWriterDocument": star_writer(list(fr), major=3, version=0x0003)},
        "ru.sdw": {"StarWriterDocument": star_writer(list(ru), charset=34, codec="cp1251")},
        "locked.sdw": {"StarWriterDocument": star_writer(german, locked=True)},
        "es.sdc": {"StarCalcDocument": star_calc(sheets)},
        "locked.sdc": {"StarCalcDocument": star_calc(sheets, locked=True)},
        "empty.sda": {"CompObj": comp_obj("StarDraw 5.0"), "StarDrawDocument3": b"Dr"},
        "empty.sdd": {"CompObj": comp_obj("StarImpress 5.0"), "StarDrawDocument3": b"Dr"},
        "old.sda": {"StarDrawDocument": b"Dr"},
    }
    for name, streams in seeds.items():
        cfb.write(os.path.join(FUZZ_SEEDS, name), streams)


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(SEEDS, exist_ok=True)
    rows = []

    def out(name):
        return os.path.join(OUT, name)

    def package(name, kind, cls, body, lang, meta_title, code, word, seed=False, **options):
        entries = package_entries(kind, cls, body, lang, meta_title, **options)
        data = write_zip(out(name), entries,
                         stored=("mimetype",) if options.get("with_mimetype", True) else ())
        rows.append((name, code, word))
        if seed:
            write_zip(os.path.join(SEEDS, name), entries,
                      stored=[entry for entry, _ in entries])
        return entries, data

    sxw, whole = package("de.sxw", "writer", "text", german_text_body(), "de",
                         "Metadaten des Gartenberichts", 304, "gießen", seed=True)
    package("fr.stw", "writer.template", "text", letter_body("fr"), "fr",
            "Modèle de lettre", 304, "bibliothèque",
            prefixes={"office": "o", "text": "t", "style": "s"})
    package("es.sxc", "calc", "spreadsheet", sheet_body("es"), "es", "Cuentas", 305, "aceitunas")
    package("ru.sxi", "impress", "presentation", slides_body("ru"), "ru", "Озеро", 306,
            "куртку", seed=True)
    package("en.sxd", "draw", "drawing", drawing_body("en"), "en", "Bakery", 361, "warm bread")
    package("fr-manifest.sxw", "writer", "text", letter_body("fr"), "fr", "Lettre", 304,
            "bibliothèque", seed=True, with_mimetype=False)
    write_zip(out("de-folder.zip"), as_folder("Bericht/", sxw), stored=("Bericht/mimetype",))
    rows.append(("de-folder.zip", 304, "gießen"))
    formula = [(name, data) for name, data in package_entries("math", "", "", "en", "Formula")
               if name != "content.xml"]
    formula.insert(1, ("content.xml", '<?xml version="1.0" encoding="UTF-8"?>\n<math:math '
                       'xmlns:math="http://www.w3.org/1998/Math/MathML"><math:semantics>'
                       '<math:mi>a</math:mi></math:semantics></math:math>'))
    write_zip(out("formula.sxm"), formula, stored=("mimetype",))
    rows.append(("formula.sxm", 341, "-"))
    bad(out, rows, whole)
    star_office_seeds()

    for name, code, word in rows:
        print("staroffice/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    sys.exit(main())
