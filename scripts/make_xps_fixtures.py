#!/usr/bin/env python3
"""Makes the XPS and OpenXPS samples of tests/data/dxfilter/xps/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the
table):

  en.xps            two pages (XPS namespace and relationship): a title and
                    two paragraphs a glyph run a line, one line drawn as two
                    runs on the same baseline, glyph runs inside nested
                    canvases, resource dictionaries and figures without text
  de.oxps           one page of an OpenXPS package whose root relationships
                    are stored uncompressed
  ru.xps            three pages whose archive entries come in another order
                    than the document's; the document names them in other
                    cases, percent-escaped, relative and absolute
  el.xps, ja.oxps   one page each (Greek; Japanese without spaces)
  fr.xps            glyph runs whose text starts with "{}" (a brace escaped)
                    and one whose value is a markup extension (no text)
  es.xps            an interleaved package: its page and document sequence
                    in pieces ([0].piece ... [n].last.piece) spread over the
                    archive
  two-docs.xps      a sequence of two documents (German, then English)
  notext.xps        a page of figures only
  notext-gs.xps     a page Ghostscript's xpswrite device drew from a filled
                    box (gs writes fixed times and names, the same bytes each
                    run)
  long.xps          one page whose 3,000 glyph runs hold 600,000 characters
  many.xps          5,000 page references to one page (beyond the page bound)
  truncated.xps     en.xps cut in half (no zip directory: a plain archive)
  damaged.xps       en.xps whose first page's compressed data is overwritten
  damaged-page2.xps en.xps whose second page's compressed data is overwritten
  de.oxps.gz        de.oxps in a gzip stream without name or time

Python's zipfile writes every entry with one fixed time and mode, so two runs
write the same bytes. The sentences are the project's own.
"""
import gzip
import io
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "xps")

XPS_NS = "http://schemas.microsoft.com/xps/2005/06"
OXPS_NS = "http://schemas.openxps.org/oxps/v1.0"
REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
XPS_REP = "http://schemas.microsoft.com/xps/2005/06/fixedrepresentation"
OXPS_REP = "http://schemas.openxps.org/oxps/v1.0/fixedrepresentation"
DATE = (2024, 1, 1, 0, 0, 0)

TEXTS = {
    "en": ("The lighthouse keeper",
           ["Every evening the old keeper climbs the narrow stairs",
            "and lights the lamp above the rocks."],
           ["From the window he counts the fishing boats that hurry",
            "home before the storm reaches the harbour."]),
    "de": ("Die Bäckerei am Markt",
           ["Jeden Morgen backt der Bäcker frisches Brot für die",
            "Nachbarn, bevor die Sonne über den Dächern aufgeht."],
           ["Die Kinder bleiben vor dem Fenster stehen und zählen",
            "die Brezeln, die auf dem Blech abkühlen."]),
    "ru": ("Зимняя дорога",
           ["Зимой почтальон едет на санях через заснеженный лес",
            "и везёт письма в далёкую деревню."],
           ["Вечером он греется у печки и рассказывает хозяйке",
            "о волках, которых видел у реки."],
           ["Утром снова начинается дорога, и лошадь сама знает",
            "путь между высокими соснами."]),
    "el": ("Το μικρό λιμάνι",
           ["Κάθε πρωί ο ψαράς ετοιμάζει τα δίχτυα του στην αποβάθρα",
            "και κοιτάζει τον ουρανό πάνω από τη θάλασσα."],
           ["Τα παιδιά του χωριού τρέχουν στην παραλία για να δουν",
            "τις βάρκες που γυρίζουν με τα ψάρια της ημέρας."]),
    "ja": ("山の小さな駅",
           ["毎朝、駅長さんは小さな駅のホームを掃除して、",
            "最初の列車が来るのを静かに待っています。"],
           ["冬になると、子供たちは雪の中を歩いて駅まで来て、",
            "温かいお茶を飲みながら列車を待ちます。"]),
    "fr": ("Le marché du samedi",
           ["Chaque samedi, la fromagère installe sa table sous les",
            "platanes et salue les habitants du quartier."],
           ["Les enfants goûtent les pommes du verger voisin pendant",
            "que leurs parents choisissent le pain."]),
    "es": ("La biblioteca del barrio",
           ["Cada tarde la bibliotecaria ordena los libros nuevos en",
            "las estanterías junto a la ventana grande."],
           ["Los niños del barrio vienen después de la escuela para",
            "leer cuentos de piratas y de montañas lejanas."]),
}
WORDS = {"en": "lighthouse", "de": "Bäckerei", "ru": "почтальон", "el": "ψαράς",
         "ja": "駅長", "fr": "fromagère", "es": "bibliotecaria"}
LANG_TAGS = {"en": "en-US", "de": "de-DE", "ru": "ru-RU", "el": "el-GR", "ja": "ja-JP",
             "fr": "fr-FR", "es": "es-ES"}


def esc(s):
    return (s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def glyphs(text, x, y, size=16):
    # The Indices give the advance of each glyph (no glyph index: the font's
    # own mapping applies); they carry no text.
    indices = ";".join(",%d" % (size * 55 // 100) for _ in range(min(len(text), 12)))
    return ('<Glyphs FontUri="/Resources/Fonts/0.odttf" FontRenderingEmSize="%d" '
            'OriginX="%s" OriginY="%s" Fill="#FF000000" UnicodeString="%s" '
            'Indices="%s" />' % (size, x, y, esc(text), indices))


def page(ns, lang, body):
    return ('<FixedPage Width="816" Height="1056" xmlns="%s" '
            'xmlns:x="http://schemas.microsoft.com/winfx/2006/xaml" xml:lang="%s">\n%s\n'
            '</FixedPage>\n' % (ns, LANG_TAGS.get(lang, "und"), body))


def paragraphs_body(lines_of_paragraphs, y0, split_first=False):
    """Glyph runs a line, 20 units apart, paragraphs 30 apart."""
    out, y = [], y0
    for i, lines in enumerate(lines_of_paragraphs):
        for j, line in enumerate(lines):
            if split_first and i == 0 and j == 0:
                cut = line.index(" climbs") + 1
                out.append(glyphs(line[:cut], 96, y))
                out.append(glyphs(line[cut:], 96 + 9 * cut, y))
            else:
                out.append(glyphs(line, 96, y))
            y += 20
        y += 10
    return "\n".join(out), y


def title_page(ns, lang, title, paragraphs, split_first=False):
    body, _ = paragraphs_body(paragraphs, 160, split_first)
    return page(ns, lang,
                '<Canvas RenderTransform="1,0,0,1,0,0">\n'
                '<Canvas.Resources><ResourceDictionary>'
                '<PathGeometry x:Key="rule" Figures="M 48,96 L 768,96" />'
                '<SolidColorBrush x:Key="ink" Color="#FF202020" />'
                '</ResourceDictionary></Canvas.Resources>\n'
                '<Path Data="M 48,96 L 768,96" Stroke="#FF000000" StrokeThickness="1" />\n'
                + glyphs(title, 96, 120, 24) + '\n'
                '<Canvas>\n' + body + '\n</Canvas>\n</Canvas>')


def content_types(extra=""):
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" '
            'ContentType="application/vnd.openxmlformats-package.relationships+xml" />'
            '<Default Extension="fdseq" '
            'ContentType="application/vnd.ms-package.xps-fixeddocumentsequence+xml" />'
            '<Default Extension="fdoc" '
            'ContentType="application/vnd.ms-package.xps-fixeddocument+xml" />'
            '<Default Extension="fpage" '
            'ContentType="application/vnd.ms-package.xps-fixedpage+xml" />'
            + extra + '</Types>\n')


def root_rels(rep, target="/FixedDocumentSequence.fdseq"):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<Relationships xmlns="%s">'
            '<Relationship Id="R0" Type="http://schemas.openxmlformats.org/package/2006/'
            'relationships/metadata/core-properties" Target="/docProps/core.xml" />'
            '<Relationship Id="R1" Type="%s" Target="%s" /></Relationships>\n'
            % (REL_NS, rep, target))


def sequence(ns, documents):
    refs = "".join('<DocumentReference Source="%s" />' % d for d in documents)
    return '<FixedDocumentSequence xmlns="%s">%s</FixedDocumentSequence>\n' % (ns, refs)


def document(ns, pages):
    refs = "".join('<PageContent Source="%s" Width="816" Height="1056" />' % p for p in pages)
    return '<FixedDocument xmlns="%s">%s</FixedDocument>\n' % (ns, refs)


def zip_bytes(entries, stored=()):
    """entries: (name, text or bytes) in archive order."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, DATE)
            info.external_attr = 0o644 << 16
            info.create_system = 3
            info.compress_type = zipfile.ZIP_STORED if name in stored else zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8") if isinstance(data, str) else data)
    return buf.getvalue()


def write_zip(path, entries, stored=()):
    """The archive of zip_bytes, written to `path`."""
    data = zip_bytes(entries, stored)
    with open(path, "wb") as f:
        f.write(data)
    return data


def simple_package(ns, rep, pages, stored=()):
    names = ["Pages/%d.fpage" % (i + 1) for i in range(len(pages))]
    entries = [("[Content_Types].xml", content_types()),
               ("_rels/.rels", root_rels(rep)),
               ("FixedDocumentSequence.fdseq", sequence(ns, ["Documents/1/FixedDocument.fdoc"])),
               ("Documents/1/FixedDocument.fdoc", document(ns, names))]
    entries += [("Documents/1/" + n, p) for n, p in zip(names, pages)]
    return entries


def language_pages(ns, lang, split_first=False):
    title, *paragraphs = TEXTS[lang]
    first = title_page(ns, lang, title, paragraphs[:2], split_first)
    if len(paragraphs) <= 2:
        return [first]
    body, _ = paragraphs_body(paragraphs[2:], 120)
    return [first, page(ns, lang, "<Canvas>\n" + body + "\n</Canvas>")]


def damage(data, entry):
    """`data` with the compressed bytes of `entry` overwritten in the middle."""
    z = zipfile.ZipFile(io.BytesIO(data))
    info = z.getinfo(entry)
    start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
    out = bytearray(data)
    for i in range(start + 2, start + min(info.compress_size - 2, 40)):
        out[i] = 0xFF
    return bytes(out)


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = []

    def out(name):
        return os.path.join(OUT, name)

    # English: two pages; the second holds one paragraph.
    title, p1, p2 = TEXTS["en"]
    pages = [title_page(XPS_NS, "en", title, [p1], split_first=True),
             page(XPS_NS, "en", "<Canvas>\n<Canvas>\n" + paragraphs_body([p2], 120)[0]
                  + "\n</Canvas>\n</Canvas>")]
    en = write_zip(out("en.xps"), simple_package(XPS_NS, XPS_REP, pages))
    rows.append(("en.xps", 354, WORDS["en"]))

    write_zip(out("de.oxps"), simple_package(OXPS_NS, OXPS_REP, language_pages(OXPS_NS, "de")),
              stored={"_rels/.rels"})
    rows.append(("de.oxps", 354, WORDS["de"]))

    # Russian: three pages in the archive as 3, 1, 2; the document names
    # page 1 relatively in upper case, page 2 percent-escaped, page 3
    # absolutely.
    title, a, b, c = TEXTS["ru"]
    pages = [title_page(XPS_NS, "ru", title, [a])] + [
        page(XPS_NS, "ru", "<Canvas>\n" + paragraphs_body([p], 120)[0] + "\n</Canvas>")
        for p in (b, c)]
    doc = document(XPS_NS, ["PAGES/Seite%201.FPage", "./Pages/%53eite%202.fpage",
                            "/Documents/1/Pages/Seite 3.fpage"])
    entries = [("[Content_Types].xml", content_types()),
               ("Documents/1/Pages/Seite 3.fpage", pages[2]),
               ("_rels/.rels", root_rels(XPS_REP)),
               ("Documents/1/Pages/Seite 1.fpage", pages[0]),
               ("FixedDocumentSequence.fdseq", sequence(XPS_NS, ["Documents/1/FixedDocument.fdoc"])),
               ("Documents/1/Pages/Seite 2.fpage", pages[1]),
               ("Documents/1/FixedDocument.fdoc", doc)]
    write_zip(out("ru.xps"), entries)
    rows.append(("ru.xps", 354, WORDS["ru"]))

    write_zip(out("el.xps"), simple_package(XPS_NS, XPS_REP, language_pages(XPS_NS, "el")))
    rows.append(("el.xps", 354, WORDS["el"]))
    write_zip(out("ja.oxps"), simple_package(OXPS_NS, OXPS_REP, language_pages(OXPS_NS, "ja")))
    rows.append(("ja.oxps", 354, WORDS["ja"]))

    # French: escaped braces, and a markup extension that is no text.
    title, p1, p2 = TEXTS["fr"]
    body = "\n".join([glyphs("{}{" + title + "}", 96, 120, 24),
                      glyphs("{StaticResource titre}", 96, 140),
                      glyphs(p1[0], 96, 160), glyphs(p1[1], 96, 180),
                      glyphs("{}" + p2[0], 96, 210), glyphs(p2[1], 96, 230)])
    write_zip(out("fr.xps"), simple_package(XPS_NS, XPS_REP, [page(XPS_NS, "fr", body)]))
    rows.append(("fr.xps", 354, WORDS["fr"]))

    # Spanish, interleaved: the page in three pieces and the sequence in two,
    # spread over the archive (a piece before the one it follows).
    page_bytes = language_pages(XPS_NS, "es")[0].encode()
    seq_bytes = sequence(XPS_NS, ["Documents/1/FixedDocument.fdoc"]).encode()
    third = len(page_bytes) // 3
    p = "Documents/1/Pages/1.fpage/"
    entries = [("[Content_Types].xml", content_types()),
               (p + "[1].piece", page_bytes[third:2 * third]),
               ("_rels/.rels", root_rels(XPS_REP)),
               ("FixedDocumentSequence.fdseq/[0].piece", seq_bytes[:40]),
               (p + "[0].piece", page_bytes[:third]),
               ("Documents/1/FixedDocument.fdoc", document(XPS_NS, ["Pages/1.fpage"])),
               ("FixedDocumentSequence.fdseq/[1].last.piece", seq_bytes[40:]),
               (p + "[2].last.piece", page_bytes[2 * third:])]
    write_zip(out("es.xps"), entries)
    rows.append(("es.xps", 354, WORDS["es"]))

    # Two documents in one sequence.
    de_page = language_pages(XPS_NS, "de")[0]
    en_page = title_page(XPS_NS, "en", TEXTS["en"][0], TEXTS["en"][1:])
    entries = [("[Content_Types].xml", content_types()),
               ("_rels/.rels", root_rels(XPS_REP, "FixedDocumentSequence.fdseq")),
               ("FixedDocumentSequence.fdseq",
                sequence(XPS_NS, ["/Documents/1/FixedDocument.fdoc", "Documents/2/FixedDocument.fdoc"])),
               ("Documents/1/FixedDocument.fdoc", document(XPS_NS, ["Pages/1.fpage"])),
               ("Documents/1/Pages/1.fpage", de_page),
               ("Documents/2/FixedDocument.fdoc", document(XPS_NS, ["Pages/1.fpage"])),
               ("Documents/2/Pages/1.fpage", en_page)]
    write_zip(out("two-docs.xps"), entries)
    rows.append(("two-docs.xps", 354, WORDS["de"]))

    figures = page(XPS_NS, "en", '<Canvas>\n<Path Data="M 96,96 L 700,96 L 700,700 Z" '
                   'Fill="#FF336699" />\n<Glyphs FontUri="/Resources/Fonts/0.odttf" '
                   'FontRenderingEmSize="16" OriginX="96" OriginY="720" Fill="#FF000000" '
                   'Indices="36;72;68" />\n</Canvas>')
    write_zip(out("notext.xps"), simple_package(XPS_NS, XPS_REP, [figures]))
    rows.append(("notext.xps", 354, "-"))

    gs = shutil.which("gs")
    if not gs:
        sys.exit("make_xps_fixtures.py: needs gs (scripts/deps.sh fixtures)")
    with tempfile.TemporaryDirectory() as tmp:
        ps = os.path.join(tmp, "box.ps")
        with open(ps, "w") as f:
            f.write("%!PS\nnewpath 72 72 moveto 200 0 rlineto 0 120 rlineto closepath fill\n"
                    "showpage\n")
        subprocess.run([gs, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=xpswrite",
                        "-sOutputFile=" + out("notext-gs.xps"), ps], check=True,
                       env=dict(os.environ, SOURCE_DATE_EPOCH="1704067200", TZ="UTC"))
    rows.append(("notext-gs.xps", 354, "-"))

    # 3,000 runs of 200 characters: 600,000 characters, beyond the text cap.
    runs = "\n".join(glyphs("harbour lights glow " * 10, 96, 100 + i) for i in range(3000))
    write_zip(out("long.xps"), simple_package(XPS_NS, XPS_REP,
                                             [page(XPS_NS, "en", "<Canvas>\n" + runs + "\n</Canvas>")]))
    rows.append(("long.xps", 354, "harbour"))

    many = simple_package(XPS_NS, XPS_REP, [page(XPS_NS, "en", glyphs("lantern", 96, 120))])
    many[3] = ("Documents/1/FixedDocument.fdoc", document(XPS_NS, ["Pages/1.fpage"] * 5000))
    write_zip(out("many.xps"), many)
    rows.append(("many.xps", 354, "lantern"))

    with open(out("truncated.xps"), "wb") as f:
        f.write(en[:len(en) // 2])
    rows.append(("truncated.xps", 341, "-"))
    with open(out("damaged.xps"), "wb") as f:
        f.write(damage(en, "Documents/1/Pages/1.fpage"))
    rows.append(("damaged.xps", 354, "-"))
    with open(out("damaged-page2.xps"), "wb") as f:
        f.write(damage(en, "Documents/1/Pages/2.fpage"))
    rows.append(("damaged-page2.xps", 354, WORDS["en"]))

    with open(out("de.oxps"), "rb") as f:
        packed = gzip.compress(f.read(), compresslevel=9, mtime=0)
    with open(out("de.oxps.gz"), "wb") as f:
        f.write(packed)
    rows.append(("de.oxps.gz", 347, WORDS["de"]))

    for name, code, word in rows:
        print("xps/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    sys.exit(main())
