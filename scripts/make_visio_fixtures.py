#!/usr/bin/env python3
"""Makes the Microsoft Visio samples of tests/data/dxfilter/visio/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the table).

A Visio package (`.vsdx`, Visio 2013 and later) is an Office Open XML zip
package: `[Content_Types].xml` gives the main part `visio/document.xml` the
content type of a drawing (`application/vnd.ms-visio.drawing.main+xml`) or a
template, `_rels/.rels` points to it, its relationships to the page list
`visio/pages/pages.xml` and the masters `visio/masters/masters.xml`, whose
relationships name a part per page and per master. A page part lists its
shapes: their cells (position, size), a geometry section, and their text. A
Visio 2003 XML drawing (`.vdx`) holds the same in one document whose root
is `VisioDocument` in the namespace of Visio 2003's XML.

  de.vsdx            a German drawing of two pages: three shapes with text on
                     the first (one of two paragraphs), a shape without text,
                     one on the second; page names of their own
  de.vstx            the same as a template (its main part's content type)
  fr.vdx             a French XML drawing of two pages, with a master whose
                     shape holds the text "Texte du modèle": placed twice on
                     the first page, once with text of its own and once
                     without (which draws the master's text)
  de.vsdx.gz         de.vsdx in a gzip stream without name or time
  fr.vdx.gz          fr.vdx in a gzip stream without name or time
  bad/cut.vsdx       de.vsdx cut in half: no zip directory, no Visio package
  bad/cut.vdx        fr.vdx cut inside the first page: still a Visio XML
                     drawing; libvisio reads no text from it
  bad/damaged.vsdx   de.vsdx whose first page's part is not well formed:
                     libvisio reads the second page
  bad/huge.vsdx      a drawing whose first shape's text runs on for 16 MiB
                     (of spaces, deflated to a few KiB) before its words
  bad/deep.vdx       fr.vdx whose first shape lies inside 5000 nested groups
  bad/header.vsd     a compound file whose root holds a `VisioDocument` stream
                     of a Visio 2003 header alone (its version byte 11 at
                     0x1A): a Visio drawing that libvisio reads no text from
  other/types.vsdx   de.vsdx whose content types name no Visio part: a zip
                     archive
  other/renamed.vsdx de.vsdx under another name of its main part (no
                     `visio/document.xml`): a zip archive
  other/namespace.vdx fr.vdx in another namespace: XML

The sentences are the project's own; the zip entries carry a fixed time, so
two runs write the same bytes. When libvisio-tools is installed, `vsd2text`
must read each drawing's text as the filter gives it: the shapes' paragraphs
in page order.
"""
import gzip
import os
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import cfb  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "visio")

MAIN_2012 = "http://schemas.microsoft.com/office/visio/2012/main"
CORE_2003 = "http://schemas.microsoft.com/visio/2003/core"
RELS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
VISIO_RELS = "http://schemas.microsoft.com/visio/2010/relationships/"
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'

DRAWING = "application/vnd.ms-visio.drawing.main+xml"
TEMPLATE = "application/vnd.ms-visio.template.main+xml"

# The pages of a drawing: the page's name and its shapes' text (a list of
# paragraphs; None for a shape without text).
PAGES = {
    "de": [
        ("Ausleihe", [
            ["Die Leserinnen bringen ihre Bücher jeden Dienstag in die kleine Bibliothek am "
             "Fluss zurück."],
            ["Die Bibliothekarin prüft jedes Buch und stempelt die Karte.",
             "Danach stellt sie die Bücher wieder in die Regale, geordnet nach dem Namen."],
            None,
            ["Wer ein Buch vorbestellt hat, bekommt einen Brief mit der Post."],
        ]),
        ("Lesesaal", [
            ["Im Winter heizt ein alter Ofen den Lesesaal, während draußen der Schnee auf "
             "die Brücke fällt, und die Großväter lesen die Zeitung von gestern."],
        ]),
    ],
    "fr": [
        ("Prêt des livres", [
            ["Chaque mardi, les lectrices rapportent leurs livres à la petite bibliothèque "
             "au bord de la rivière."],
            ["La bibliothécaire vérifie chaque livre et tamponne la carte de prêt."],
            "master",  # the master's own text
            ["Les livres réservés attendent leurs lecteurs sur une étagère près de l'entrée."],
        ]),
        ("Salle de lecture", [
            ["En hiver, un vieux poêle chauffe la salle de lecture pendant que la neige tombe "
             "sur le pont, et les grands-pères lisent le journal de la veille."],
        ]),
    ],
}
MASTER_TEXT = "Texte du modèle"


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def rels(targets):
    """A relationships part: (type, target) for each."""
    out = HEAD + '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    for n, (kind, target) in enumerate(targets, 1):
        out += '<Relationship Id="rId%d" Type="%s" Target="%s"/>' % (n, kind, target)
    return out + "</Relationships>"


def shape_2012(ident, paragraphs, y):
    """A rectangle 3 by 1 inches at (2, y), with its paragraphs as text."""
    text = "" if paragraphs is None else "<Text>%s</Text>" % escape("\n".join(paragraphs))
    return ('<Shape ID="%d" Type="Shape"><Cell N="PinX" V="2"/><Cell N="PinY" V="%d"/>'
            '<Cell N="Width" V="3"/><Cell N="Height" V="1"/><Cell N="LocPinX" V="1.5"/>'
            '<Cell N="LocPinY" V="0.5"/><Section N="Geometry" IX="0">'
            '<Row T="MoveTo" IX="1"><Cell N="X" V="0"/><Cell N="Y" V="0"/></Row>'
            '<Row T="LineTo" IX="2"><Cell N="X" V="3"/><Cell N="Y" V="0"/></Row>'
            '<Row T="LineTo" IX="3"><Cell N="X" V="3"/><Cell N="Y" V="1"/></Row>'
            '<Row T="LineTo" IX="4"><Cell N="X" V="0"/><Cell N="Y" V="1"/></Row>'
            '<Row T="LineTo" IX="5"><Cell N="X" V="0"/><Cell N="Y" V="0"/></Row>'
            "</Section>%s</Shape>") % (ident, y, text)


def entry(name):
    info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    return info


def package(pages, main_type=DRAWING, main="visio/document.xml", first_page=None):
    """A Visio package of `pages` (as PAGES holds them); `first_page`
    replaces the first page's part."""
    overrides = [("/" + main, main_type),
                 ("/visio/pages/pages.xml", "application/vnd.ms-visio.pages+xml")]
    overrides += [("/visio/pages/page%d.xml" % n, "application/vnd.ms-visio.page+xml")
                  for n in range(1, len(pages) + 1)]
    types = (HEAD + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" '
             'ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>')
    types += "".join('<Override PartName="%s" ContentType="%s"/>' % o for o in overrides)
    types += "</Types>"
    folder = os.path.dirname(main)
    parts = [
        ("[Content_Types].xml", types),
        ("_rels/.rels", rels([(VISIO_RELS + "document", main)])),
        (main, HEAD + '<VisioDocument xmlns="%s" xmlns:r="%s"><DocumentSettings/>'
               "</VisioDocument>" % (MAIN_2012, RELS)),
        ("%s/_rels/%s.rels" % (folder, os.path.basename(main)),
         rels([(VISIO_RELS + "pages", "pages/pages.xml")])),
    ]
    listed = "".join(
        '<Page ID="%d" NameU="Page-%d" Name="%s"><PageSheet><Cell N="PageWidth" V="8.5"/>'
        '<Cell N="PageHeight" V="11"/></PageSheet><Rel r:id="rId%d"/></Page>'
        % (n * 4, n + 1, escape(name), n + 1) for n, (name, _) in enumerate(pages))
    parts.append(("visio/pages/pages.xml", HEAD + '<Pages xmlns="%s" xmlns:r="%s">%s</Pages>'
                  % (MAIN_2012, RELS, listed)))
    parts.append(("visio/pages/_rels/pages.xml.rels",
                  rels([(VISIO_RELS + "page", "page%d.xml" % n)
                        for n in range(1, len(pages) + 1)])))
    for n, (_, shapes) in enumerate(pages, 1):
        body = "".join(shape_2012(i, text, 10 - 2 * i) for i, text in enumerate(shapes, 1))
        part = (HEAD + '<PageContents xmlns="%s" xmlns:r="%s"><Shapes>%s</Shapes></PageContents>'
                % (MAIN_2012, RELS, body))
        if n == 1 and first_page is not None:
            part = first_page(part)
        parts.append(("visio/pages/page%d.xml" % n, part))
    path = os.path.join(OUT, "package.tmp")
    with zipfile.ZipFile(path, "w") as z:
        for name, content in parts:
            z.writestr(entry(name), content.encode("utf-8"), compresslevel=9)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def shape_2003(ident, paragraphs, y, master=None):
    """A rectangle as for shape_2012 in Visio 2003's XML; `master` places
    that master's shape."""
    text = "" if paragraphs is None else "<Text>%s</Text>" % escape("\n".join(paragraphs))
    placed = "" if master is None else ' Master="%d"' % master
    return ('<Shape ID="%d" Type="Shape"%s><XForm><PinX>2</PinX><PinY>%d</PinY><Width>3</Width>'
            "<Height>1</Height><LocPinX>1.5</LocPinX><LocPinY>0.5</LocPinY></XForm>"
            '<Geom IX="0"><MoveTo IX="1"><X>0</X><Y>0</Y></MoveTo>'
            '<LineTo IX="2"><X>3</X><Y>0</Y></LineTo><LineTo IX="3"><X>3</X><Y>1</Y></LineTo>'
            '<LineTo IX="4"><X>0</X><Y>1</Y></LineTo><LineTo IX="5"><X>0</X><Y>0</Y></LineTo>'
            "</Geom>%s</Shape>") % (ident, placed, y, text)


def xml_drawing(pages, namespace=CORE_2003, depth=0):
    """A Visio 2003 XML drawing of `pages`, with a master of one shape; a
    page's shape "master" places it without text of its own, and the shape
    before it places it with its own. `depth` nests the first shape in as
    many groups."""
    master = ('<Masters><Master ID="2" NameU="Rectangle" Name="Rectangle"><PageSheet/><Shapes>%s'
              "</Shapes></Master></Masters>" % shape_2003(5, [MASTER_TEXT], 1))
    out = []
    for n, (name, shapes) in enumerate(pages):
        body = []
        for i, text in enumerate(shapes, 1):
            if text == "master":
                body.append(shape_2003(i, None, 10 - 2 * i, master=2))
            elif i + 1 <= len(shapes) and shapes[i] == "master":
                body.append(shape_2003(i, text, 10 - 2 * i, master=2))
            else:
                body.append(shape_2003(i, text, 10 - 2 * i))
        if n == 0 and depth:
            body[0] = ('<Shape ID="100" Type="Group"><Shapes>' * depth + body[0]
                       + "</Shapes></Shape>" * depth)
        out.append('<Page ID="%d" NameU="Page-%d" Name="%s"><PageSheet><PageProps>'
                   "<PageWidth>8.5</PageWidth><PageHeight>11</PageHeight></PageProps>"
                   "</PageSheet><Shapes>%s</Shapes></Page>"
                   % (n * 4, n + 1, escape(name), "".join(body)))
    return (HEAD + '<VisioDocument xmlns="%s">%s<Pages>%s</Pages></VisioDocument>\n'
            % (namespace, master, "".join(out))).encode("utf-8")


def text_of(pages):
    """The lines the filter reads: each shape's paragraphs, in page order."""
    lines = []
    for _, shapes in pages:
        for shape in shapes:
            if shape == "master":
                lines.append(MASTER_TEXT)
            elif shape is not None:
                lines.extend(shape)
    return lines


def main():
    de = package(PAGES["de"])
    fr = xml_drawing(PAGES["fr"])
    huge = [("Seite", [[" " * (16 << 20) + "Die Bibliothekarin grüßt jeden mit Namen."]])]
    header = b"Visio (TM) Drawing\r\n".ljust(0x1A, b"\0") + b"\x0b" + bytes(37)
    # (name, bytes, format code, a word of the text or "-")
    samples = [
        ("de.vsdx", de, 367, "Bibliothekarin"),
        ("de.vstx", package(PAGES["de"], TEMPLATE), 367, "Bibliothekarin"),
        ("fr.vdx", fr, 367, "bibliothécaire"),
        ("de.vsdx.gz", gzip.compress(de, 9, mtime=0), 347, "Bibliothekarin"),
        ("fr.vdx.gz", gzip.compress(fr, 9, mtime=0), 347, "bibliothécaire"),
        ("bad/cut.vsdx", de[:len(de) // 2], 341, "-"),
        ("bad/cut.vdx", fr[:fr.index(b"<Page ID=") + 400], 367, "-"),
        ("bad/damaged.vsdx",
         package(PAGES["de"], first_page=lambda part: part.replace("</Shape>", "</Shap>", 1)),
         367, "Lesesaal"),
        ("bad/huge.vsdx", package(huge), 367, "-"),
        ("bad/header.vsd", cfb.build({"VisioDocument": header}), 367, "-"),
        ("bad/deep.vdx", xml_drawing(PAGES["fr"], depth=5000), 367, "-"),
        ("other/types.vsdx", package(PAGES["de"], "application/vnd.ms-visio.unknown+xml"), 341,
         "-"),
        ("other/renamed.vsdx", package(PAGES["de"], main="visio/drawing.xml"), 341, "-"),
        ("other/namespace.vdx", xml_drawing(PAGES["fr"], "urn:example:visio"), 285, "-"),
    ]
    for name, data, _, _ in samples:
        path = os.path.join(OUT, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    # libvisio's own converter reads each drawing's text as the filter gives it.
    if shutil.which("vsd2text"):
        for name, lang in (("de.vsdx", "de"), ("de.vstx", "de"), ("fr.vdx", "fr")):
            got = subprocess.run(["vsd2text", os.path.join(OUT, name)], capture_output=True,
                                 check=True).stdout.decode()
            if [line for line in got.splitlines() if line] != text_of(PAGES[lang]):
                sys.exit("vsd2text reads %s otherwise:\n%s" % (name, got))

    for name, _, code, word in samples:
        print("visio/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
