#!/usr/bin/env python3
"""Makes the OpenDocument samples of tests/data/dxfilter/odf/ beyond the
text documents, spreadsheets and presentations make_filter_fixtures.sh
writes, and prints their rows of formats.tsv (make_filter_fixtures.sh
appends them to the table):

  en.odg          a drawing of two pages: a text box, a custom shape and a
                  rectangle with text, a shape with a title and a
                  description, a connector without text, an embedded object
                  and a picture
  de.otg          a drawing template whose `mimetype` entry is compressed
                  and not the first (the archive's entries decide)
  es.otm          a master document template (a text document)
  fr.fodt         a flat text document: one XML file whose root is
                  office:document, with metadata, font and style
                  declarations, page headers in its master styles, a
                  picture as base64 data and an embedded formula inline
  ru.fods         a flat spreadsheet: text cells and numbers
  de.fodp         a flat presentation with speaker notes
  en.fodg         a flat drawing
  fr.fodt.gz      fr.fodt in a gzip stream without name or time
  chart.odc       a chart, formula.odf a formula, image.odi an image: no
                  text the filter reads (other zip archives)
  noprefix.xml    a root element `document` in the office namespace as the
                  default one, whose `mimetype` attribute is in no namespace
                  (XML, not a flat document)
  otherkind.fodt  a flat file of a kind the filter does not read (a chart):
                  XML

packages without a `mimetype` entry, whose manifest's root entry tells
their kind, and their look-alikes:

  fr-manifest.odt      a text document
  ru-manifest.ods      a spreadsheet
  de-manifest.odp      a presentation with speaker notes
  manifest-chart.odc   a chart: no text the filter reads (another zip archive)
  manifest-noroot.zip  a manifest without a root entry, as an extension's
                       (`.oxt`) has it: another zip archive
  manifest-cut.odt     fr-manifest.odt whose manifest is cut after the root
                       entry (not well-formed): another zip archive

packages zipped as a folder (every entry inside one folder at the root), and
their look-alikes (other zip archives):

  fr-folder.zip          a text document in `Carnet/`, its `mimetype` first
  ru-folder-finder.zip   a spreadsheet without a `mimetype` entry, beside the
                         Finder's entries
  folder-chart.zip       a chart: no text the filter reads
  folder-two.zip         the text document beside a second folder
  folder-deeper.zip      the text document's folder inside another folder
  folder-beside.zip      the text document beside a file at the root
  manifest-crc.odt     fr-manifest.odt whose manifest's compressed bytes are
                       overwritten: another zip archive
  fr.odt.zip           fr-manifest.odt as the macOS Finder zips a file (the
                       document beside its AppleDouble file under
                       `__MACOSX/`): a zip archive of a document, another
                       zip archive

Python's zipfile writes every entry with one fixed time and mode (the
writer of make_xps_fixtures.py), so two runs write the same bytes. The sentences are the project's own.
"""
import base64
import gzip
import os
import sys

from make_iwork_fixtures import APPLE_DOUBLE
from make_xps_fixtures import damage, write_zip

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "odf")
MIME = "application/vnd.oasis.opendocument."

NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:xlink="http://www.w3.org/1999/xlink" '
      'xmlns:dc="http://purl.org/dc/elements/1.1/" '
      'xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
      'xmlns:math="http://www.w3.org/1998/Math/MathML" '
      'xmlns:chart="urn:oasis:names:tc:opendocument:xmlns:chart:1.0" '
      'office:version="1.3"')

TEXTS = {
    "en": ("The garden plan",
           "Plant the tomatoes along the southern wall where the sun stays longest.",
           "The old apple tree needs pruning before the first frost arrives.",
           "gardener"),
    "de": ("Der Wanderweg",
           "Der Weg führt vom Dorf über die Brücke hinauf zur alten Mühle.",
           "Nach dem Regen ist der Pfad am Waldrand oft rutschig und schmal.",
           "Wanderer"),
    "fr": ("Le carnet de voyage",
           "Le train du matin traverse les vignes avant d'arriver au bord du lac.",
           "Nous avons dîné sur la terrasse en regardant les bateaux rentrer au port.",
           "voyageurs"),
    "es": ("El mercado del pueblo",
           "Los sábados los agricultores venden sus frutas en la plaza mayor.",
           "Al mediodía las familias se sientan a comer bajo los árboles.",
           "agricultores"),
    "ru": ("Летний сад",
           "Каждое утро бабушка поливает цветы в саду у старого дома.",
           "Вечером дети собирают малину и приносят её в корзинах.",
           "бабушка"),
}

# A one-pixel PNG: the picture of the samples, base64 in the flat file.
PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6360f8cfc0f01f0005000201e2f1"
                    "f4f90000000049454e44ae426082")


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def manifest(kind, root=True):
    """The manifest of a package of `kind`; `root`: with the root entry."""
    entry = ('<manifest:file-entry manifest:full-path="/" manifest:version="1.3" '
             'manifest:media-type="%s%s"/>' % (MIME, kind)) if root else ""
    return ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
            'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" '
            'manifest:version="1.3">%s'
            '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
            '</manifest:manifest>' % entry)


def package_entries(kind, body, mimetype_first=True, with_mimetype=True, root=True):
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content %s>'
               '<office:automatic-styles><style:style style:name="gr1" style:family="graphic"/>'
               '</office:automatic-styles><office:body>%s</office:body>'
               '</office:document-content>' % (NS, body))
    mimetype = [("mimetype", MIME + kind)] if with_mimetype else []
    rest = [("content.xml", content), ("META-INF/manifest.xml", manifest(kind, root))]
    if mimetype_first:
        return mimetype + rest
    return rest[:1] + mimetype + rest[1:]


def package(path, kind, body, mimetype_first=True, with_mimetype=True, root=True):
    entries = package_entries(kind, body, mimetype_first, with_mimetype, root)
    return write_zip(path, entries, stored=("mimetype",) if mimetype_first else ())


def flat(path, kind, body, extra=""):
    doc = ('<?xml version="1.0" encoding="UTF-8"?>\n<!-- written by make_odf_fixtures.py -->\n'
           '<office:document %s office:mimetype="%s%s">%s<office:body>%s</office:body>'
           '</office:document>\n' % (NS, MIME, kind, extra, body))
    with open(path, "w", encoding="utf-8") as f:
        f.write(doc)


def p(text):
    return "<text:p>%s</text:p>" % esc(text)


def text_box(text, y):
    return ('<draw:frame draw:style-name="gr1" svg:x="2cm" svg:y="%s" svg:width="20cm" '
            'svg:height="3cm"><draw:text-box>%s</draw:text-box></draw:frame>' % (y, p(text)))


def drawing_pages(lang, with_extras):
    title, s1, s2, word = TEXTS[lang]
    first = text_box(title, "1cm")
    first += ('<draw:custom-shape draw:style-name="gr1" svg:x="2cm" svg:y="5cm" '
              'svg:width="10cm" svg:height="4cm">%s<draw:enhanced-geometry '
              'draw:type="ellipse"/></draw:custom-shape>' % p(s1))
    second = ('<draw:rect draw:style-name="gr1" svg:x="2cm" svg:y="2cm" svg:width="12cm" '
              'svg:height="4cm">%s</draw:rect>' % p(s2))
    second += ('<draw:connector draw:style-name="gr1" svg:x1="1cm" svg:y1="1cm" '
               'svg:x2="5cm" svg:y2="5cm"/>')
    if with_extras:
        first += ('<draw:frame svg:x="1cm" svg:y="10cm" svg:width="4cm" svg:height="4cm">'
                  '<draw:object xlink:href="./Object 1" xlink:type="simple"/></draw:frame>')
        second += ('<draw:frame svg:x="1cm" svg:y="8cm" svg:width="1cm" svg:height="1cm">'
                   '<draw:image xlink:href="Pictures/1.png"/>'
                   '<svg:title>%s</svg:title><svg:desc>%s</svg:desc></draw:frame>'
                   % (esc(word), esc(word)))
    return ('<draw:page draw:name="page1" draw:master-page-name="Default">%s</draw:page>'
            '<draw:page draw:name="page2" draw:master-page-name="Default">%s</draw:page>'
            % (first, second))


def text_body(lang):
    title, s1, s2, word = TEXTS[lang]
    return ("<office:text><text:h text:outline-level=\"1\">%s</text:h>%s%s</office:text>"
            % (esc(title), p(s1), p(s2)))


def sheet_body(lang):
    title, s1, s2, word = TEXTS[lang]
    cells = ''.join('<table:table-row><table:table-cell office:value-type="string"><text:p>%s'
                    '</text:p></table:table-cell><table:table-cell office:value-type="float" '
                    'office:value="%d"><text:p>%d</text:p></table:table-cell></table:table-row>'
                    % (esc(t), n, n) for n, t in enumerate((title, s1, s2), 1))
    return ('<office:spreadsheet><table:table table:name="%s">%s</table:table>'
            '</office:spreadsheet>' % (esc(word), cells))


def presentation_body(lang):
    title, s1, s2, word = TEXTS[lang]
    slides = ('<draw:page draw:name="s1">%s%s<presentation:notes><draw:frame><draw:text-box>%s'
              '</draw:text-box></draw:frame></presentation:notes></draw:page>'
              % (text_box(title, "1cm"), text_box(s1, "5cm"), p(s2)))
    return "<office:presentation>%s</office:presentation>" % slides


def without_mimetype(out, rows):
    """Packages without a `mimetype` entry, and their look-alikes."""
    odt = package(out("fr-manifest.odt"), "text", text_body("fr"), with_mimetype=False)
    rows.append(("fr-manifest.odt", 304, "terrasse"))
    package(out("ru-manifest.ods"), "spreadsheet", sheet_body("ru"), with_mimetype=False)
    rows.append(("ru-manifest.ods", 305, "бабушка"))
    package(out("de-manifest.odp"), "presentation", presentation_body("de"), with_mimetype=False)
    rows.append(("de-manifest.odp", 306, "Mühle"))
    package(out("manifest-chart.odc"), "chart",
            '<office:chart><chart:chart><chart:title>%s</chart:title></chart:chart></office:chart>'
            % p("Harvest by month"), with_mimetype=False)
    rows.append(("manifest-chart.odc", 341, "-"))
    package(out("manifest-noroot.zip"), "text", text_body("fr"), with_mimetype=False, root=False)
    rows.append(("manifest-noroot.zip", 341, "-"))
    entries = package_entries("text", text_body("fr"), with_mimetype=False)
    cut = entries[1][1]
    entries[1] = (entries[1][0], cut[:cut.index("<manifest:file-entry manifest:full-path=\"c")])
    write_zip(out("manifest-cut.odt"), entries)
    rows.append(("manifest-cut.odt", 341, "-"))
    with open(out("manifest-crc.odt"), "wb") as f:
        f.write(damage(odt, "META-INF/manifest.xml"))
    rows.append(("manifest-crc.odt", 341, "-"))
    write_zip(out("fr.odt.zip"), [("Carnet.odt", odt), ("__MACOSX/", b""),
                                  ("__MACOSX/._Carnet.odt", APPLE_DOUBLE)])
    rows.append(("fr.odt.zip", 341, "-"))


def as_folder(top, entries):
    """`entries` as zipping the package's folder `top` leaves them: the
    folder's own entry first, every name inside it."""
    return [(top, b"")] + [(top + name, data) for name, data in entries]


def zipped_folders(out, rows):
    """Packages zipped as a folder, as the Finder and web downloads zip one,
    and their look-alikes."""
    text = package_entries("text", text_body("fr"))
    write_zip(out("fr-folder.zip"), as_folder("Carnet/", text), stored=("Carnet/mimetype",))
    rows.append(("fr-folder.zip", 304, "terrasse"))
    sheet = package_entries("spreadsheet", sheet_body("ru"), with_mimetype=False)
    write_zip(out("ru-folder-finder.zip"), as_folder("Tablitsa/", sheet) + [
        ("__MACOSX/", b""), ("__MACOSX/Tablitsa/", b""),
        ("__MACOSX/Tablitsa/._content.xml", APPLE_DOUBLE), ("Tablitsa/.DS_Store", b"\0\0\0\1Bud1")])
    rows.append(("ru-folder-finder.zip", 305, "бабушка"))
    chart = package_entries("chart", '<office:chart><chart:chart><chart:title>%s</chart:title>'
                            '</chart:chart></office:chart>' % p("Harvest by month"))
    write_zip(out("folder-chart.zip"), as_folder("Chart/", chart))
    rows.append(("folder-chart.zip", 341, "-"))
    write_zip(out("folder-two.zip"), as_folder("Carnet/", text) + as_folder("Notes/", [
        ("notes.txt", b"notes\n")]))
    rows.append(("folder-two.zip", 341, "-"))
    write_zip(out("folder-deeper.zip"), as_folder("Archive/", as_folder("Carnet/", text)))
    rows.append(("folder-deeper.zip", 341, "-"))
    write_zip(out("folder-beside.zip"), as_folder("Carnet/", text) + [("notes.txt", b"notes\n")])
    rows.append(("folder-beside.zip", 341, "-"))


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = []

    def out(name):
        return os.path.join(OUT, name)

    # Drawings, packaged.
    package(out("en.odg"), "graphics",
            "<office:drawing>%s</office:drawing>" % drawing_pages("en", True))
    rows.append(("en.odg", 361, "apple tree"))
    package(out("de.otg"), "graphics-template",
            "<office:drawing>%s</office:drawing>" % drawing_pages("de", False),
            mimetype_first=False)
    rows.append(("de.otg", 361, "Mühle"))

    # A master document template: a text document.
    title, s1, s2, word = TEXTS["es"]
    package(out("es.otm"), "text-master-template",
            "<office:text><text:h text:outline-level=\"1\">%s</text:h>%s%s</office:text>"
            % (esc(title), p(s1), p(s2)))
    rows.append(("es.otm", 304, "agricultores"))

    # Flat files: metadata, fonts, styles and master styles come before the
    # body; the body holds a picture and a formula inline.
    title, s1, s2, word = TEXTS["fr"]
    extra = ('<office:meta><dc:title>Métadonnées du fichier</dc:title>'
             '<meta:generator>make_odf_fixtures</meta:generator></office:meta>'
             '<office:font-face-decls><style:font-face style:name="Liberation Serif" '
             'svg:font-family="&apos;Liberation Serif&apos;"/></office:font-face-decls>'
             '<office:styles><style:style style:name="Standard" style:family="paragraph"/>'
             '</office:styles><office:master-styles><style:master-page style:name="Standard">'
             '<style:header><text:p>En-tête de page répétée</text:p></style:header>'
             '</style:master-page></office:master-styles>')
    body = ('<office:text><text:h text:outline-level="1">%s</text:h>%s'
            '<text:p><draw:frame svg:width="1cm" svg:height="1cm"><draw:image><office:binary-data>'
            '%s</office:binary-data></draw:image></draw:frame></text:p>'
            '<text:p><draw:frame svg:width="2cm" svg:height="1cm"><draw:object><math:math>'
            '<math:mi>x</math:mi><math:mo>=</math:mo><math:mn>2</math:mn></math:math>'
            '</draw:object></draw:frame></text:p>%s</office:text>'
            % (esc(title), p(s1), base64.encodebytes(PNG * 8).decode("ascii"), p(s2)))
    flat(out("fr.fodt"), "text", body, extra=extra)
    rows.append(("fr.fodt", 304, "terrasse"))

    title, s1, s2, word = TEXTS["ru"]
    cells = ''.join('<table:table-row><table:table-cell office:value-type="string"><text:p>%s'
                    '</text:p></table:table-cell><table:table-cell office:value-type="float" '
                    'office:value="%d"><text:p>%d</text:p></table:table-cell></table:table-row>'
                    % (esc(t), n, n) for n, t in enumerate((title, s1, s2), 1))
    flat(out("ru.fods"), "spreadsheet",
         '<office:spreadsheet><table:table table:name="%s">%s</table:table></office:spreadsheet>'
         % (esc(word), cells))
    rows.append(("ru.fods", 305, "бабушка"))

    title, s1, s2, word = TEXTS["de"]
    slides = ('<draw:page draw:name="s1">%s%s<presentation:notes><draw:frame><draw:text-box>%s'
              '</draw:text-box></draw:frame></presentation:notes></draw:page>'
              % (text_box(title, "1cm"), text_box(s1, "5cm"), p(s2)))
    flat(out("de.fodp"), "presentation",
         "<office:presentation>%s</office:presentation>" % slides)
    rows.append(("de.fodp", 306, "rutschig"))

    flat(out("en.fodg"), "graphics",
         "<office:drawing>%s</office:drawing>" % drawing_pages("en", False))
    rows.append(("en.fodg", 361, "apple tree"))

    with open(out("fr.fodt"), "rb") as f:
        packed = gzip.compress(f.read(), compresslevel=9, mtime=0)
    with open(out("fr.fodt.gz"), "wb") as f:
        f.write(packed)
    rows.append(("fr.fodt.gz", 347, "terrasse"))

    # Kinds without text the filter reads.
    package(out("chart.odc"), "chart",
            '<office:chart><chart:chart><chart:title>%s</chart:title></chart:chart></office:chart>'
            % p("Harvest by month"))
    rows.append(("chart.odc", 341, "-"))
    package(out("formula.odf"), "formula",
            '<math:math><math:mi>a</math:mi><math:mo>+</math:mo><math:mi>b</math:mi></math:math>')
    rows.append(("formula.odf", 341, "-"))
    write_zip(out("image.odi"), [("mimetype", MIME + "image"), ("Pictures/1.png", PNG),
                                 ("META-INF/manifest.xml", manifest("image"))],
              stored=("mimetype",))
    rows.append(("image.odi", 341, "-"))

    # Flat-looking XML that is not a flat document the filter reads.
    with open(out("noprefix.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0"?>\n<document xmlns="urn:oasis:names:tc:opendocument:xmlns:'
                'office:1.0" mimetype="%stext"><body><text><p>%s</p></text></body></document>\n'
                % (MIME, esc(TEXTS["en"][1])))
    rows.append(("noprefix.xml", 285, "-"))
    flat(out("otherkind.fodt"), "chart",
         '<office:chart><chart:chart><chart:title>%s</chart:title></chart:chart></office:chart>'
         % p("Harvest by month"))
    rows.append(("otherkind.fodt", 285, "-"))

    without_mimetype(out, rows)
    zipped_folders(out, rows)

    for name, code, word in rows:
        print("odf/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    sys.exit(main())
