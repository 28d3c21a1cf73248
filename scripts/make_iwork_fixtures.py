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

The archives come from make_xps_fixtures.py's writer (Python's zipfile,
every entry of one fixed time, 2024-01-01, and mode) and the gzip streams
carry no name or time, so two runs write the same bytes. The sentences are
the project's own.
"""
import gzip
import os

from make_xps_fixtures import damage, write_zip

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "iwork")

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

    for name, code, word in rows:
        print("iwork/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
