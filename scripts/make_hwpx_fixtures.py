#!/usr/bin/env python3
"""Makes the Hangul word processor package (HWPX) samples of
tests/data/dxfilter/hwpx/ and prints their rows of formats.tsv
(make_filter_fixtures.sh appends them to the table).

A package is a zip archive (python3's zipfile) holding, in this order:

  mimetype                  "application/hwp+zip", stored, the first entry
  version.xml               HCFVersion in the version namespace
  Contents/header.xml       the head part (fonts, shapes and styles; kept
                            to its root and counts here)
  Contents/section0.xml     the sections: `hs:sec`, its paragraphs `hp:p`,
  Contents/section1.xml     their runs `hp:run` and the text `hp:t`, in
                            which `hp:lineBreak`, `hp:tab`, `hp:nbSpace` and
                            `hp:hyphen` stand among the characters
  Contents/content.hpf      the package document: its manifest names the
                            parts, its spine the header and the sections
  settings.xml              the caret's place
  META-INF/container.xml    the package document and the preview text
  META-INF/manifest.xml     no entries (an encrypted package gives each
                            encrypted part its encryption data here)
  Preview/PrvText.txt       the preview text, UTF-16LE: other sentences
                            than the document's, so that a test can tell
                            the preview was not read

The namespaces are those of the 2011 markup (`http://www.hancom.co.kr/
hwpml/2011/...`); section1.xml of en.hwpx declares the paragraph namespace
of the 2024 edition (`http://www.owpml.org/owpml/2024/paragraph`) under
another prefix.

  ko.hwpx                 two sections: a title, a paragraph with a tab, a
                          non-breaking space and a hyphen, one with a line
                          break, a field whose parameters hold text that is
                          not the document's, a table of two rows, a text
                          box, a footnote in the middle of a paragraph;
                          the second section holds the first article of
                          the Universal Declaration of Human Rights
  en.hwpx                 the same structure in English
  ko.hwpx.gz              ko.hwpx in a gzip stream without name or time
  other/no-mimetype.hwpx  ko.hwpx without its mimetype entry (told by
                          Contents/content.hpf and Contents/section0.xml)
  other/version.hwpx      en.hwpx without mimetype and content.hpf, its
                          section renamed section5.xml (told by version.xml;
                          read by section numbers)
  other/hpf-only.zip      a zip archive with a Contents/content.hpf and a
                          version.xml of another namespace: another
                          program's (341)
  bad/cut.hwpx            ko.hwpx cut in half: its directory is lost
                          (recognised by its mimetype, no text)
  bad/xml.hwpx            ko.hwpx whose first section breaks off in bytes
                          that are no markup (a NUL byte) in its third
                          paragraph: the text before, then the second
                          section
  bad/no-hpf.hwpx         ko.hwpx without Contents/content.hpf: the sections
                          by their numbers
  bad/encrypted.hwpx      ko.hwpx whose manifest gives the sections
                          encryption data (recognised, no text)
  bad/bomb.hwpx           en.hwpx whose first section holds a paragraph of
                          72 MiB of spaces (deflated to about 70 KiB): read
                          to the member's bound, then the second section
  bad/deflate.hwpx        en.hwpx with a long first section whose deflate
                          stream is damaged in its last quarter: the text
                          before the damage

The sentences are the project's own, but for the article of the Universal
Declaration of Human Rights. The entries carry a fixed time: two runs write
the same bytes.
"""
import gzip
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
from reproducible import entry  # noqa: E402

OUT = os.path.join("tests", "data", "dxfilter", "hwpx")

NS = "http://www.hancom.co.kr/hwpml/2011/"
OWPML_PARAGRAPH = "http://www.owpml.org/owpml/2024/paragraph"
SECTION_NAMESPACES = ('xmlns:ha="%sapp" xmlns:hp="%sparagraph" xmlns:hs="%ssection" '
                      'xmlns:hc="%score" xmlns:hh="%shead"' % ((NS,) * 5))

TEXTS = {
    "ko": {
        "title": "봄날의 시장",
        "tab": ("아침 일찍", "시장에 가면 채소와 과일이 가득합니다."),
        "hyphen": ("서울", "부산 기차는 세 시간이 걸립니다."),
        "break": ("딸기 한 상자", "만 원"),
        "field": ("상인들은 손님에게 ", "가격", "을 크게 외칩니다."),
        "hidden": "http://example.com/가격표",
        "table": (("과일", "가격"), ("딸기와 사과", "만 원")),
        "box": "오늘의 특별 상품은 제주도에서 온 귤입니다.",
        "note": ("할머니는 이 시장에서 사십 년 동안 떡을 팔았습니다",
                 "떡은 쌀로 만든 한국의 전통 음식입니다.",
                 "사람들은 지금도 그 가게를 기억합니다."),
        "second": ["모든 인간은 태어날 때부터 자유로우며 그 존엄과 권리에 있어 동등하다. "
                   "인간은 천부적으로 이성과 양심을 부여받았으며 서로 형제애의 정신으로 "
                   "행동하여야 한다.",
                   "저녁이 되면 상인들은 가게를 정리하고 집으로 돌아갑니다. 내일도 시장은 "
                   "다시 사람들로 붐빌 것입니다."],
        "preview": "미리 보기 글은 문서가 아닙니다. 이 문장은 읽히지 않아야 합니다.",
    },
    "en": {
        "title": "The Lighthouse Keeper",
        "tab": ("Every evening", "the keeper climbed the narrow stairs to light the lamp."),
        "hyphen": ("north", "west winds brought the storms in autumn."),
        "break": ("Oil for the lamp", "twelve barrels"),
        "field": ("Ships passing the ", "headland", " saw the light from far away."),
        "hidden": "http://example.com/headland-chart",
        "table": (("Month", "Ships"), ("September", "forty")),
        "box": "Visitors may climb the tower on Sundays.",
        "note": ("The keeper wrote every ship into his logbook",
                 "The logbook is kept in the town museum.",
                 "and the weather of each night beside it."),
        "second": ["All human beings are born free and equal in dignity and rights. They are "
                   "endowed with reason and conscience and should act towards one another in a "
                   "spirit of brotherhood.",
                   "In winter the sea froze near the rocks, and the keeper's daughter "
                   "brought bread across the ice."],
        "preview": "The preview text is not the document, and these words must not be read.",
    },
}


def esc(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def para(runs, pid=0):
    return ('<hp:p id="%d" paraPrIDRef="0" styleIDRef="0" pageBreak="0" columnBreak="0" '
            'merged="0">%s<hp:linesegarray><hp:lineseg textpos="0" vertpos="0" vertsize="1000" '
            'textheight="1000" baseline="850" spacing="600" horzpos="0" horzsize="42520" '
            'flags="393216"/></hp:linesegarray></hp:p>' % (pid, runs))


def run(inner):
    return '<hp:run charPrIDRef="0">%s</hp:run>' % inner


def t(*pieces):
    return "<hp:t>%s</hp:t>" % "".join(pieces)


def sub_list(paragraphs):
    return ('<hp:subList id="" textDirection="HORIZONTAL" lineWrap="BREAK" vertAlign="TOP" '
            'linkListIDRef="0" linkListNextIDRef="0" textWidth="0" textHeight="0" '
            'hasTextRef="0" hasNumRef="0">%s</hp:subList>' % "".join(paragraphs))


SEC_PR = ('<hp:secPr id="" textDirection="HORIZONTAL" spaceColumns="1134" tabStop="8000" '
          'outlineShapeIDRef="1" memoShapeIDRef="0" textVerticalWidthHead="0" '
          'masterPageCnt="0"><hp:grid lineGrid="0" charGrid="0" wonggojiFormat="0"/>'
          '<hp:startNum pageStartsOn="BOTH" page="0" pic="0" tbl="0" equation="0"/>'
          '<hp:pagePr landscape="WIDELY" width="59528" height="84186" gutterType="LEFT_ONLY">'
          '<hp:margin header="4252" footer="4252" gutter="0" left="8504" right="8504" '
          'top="5668" bottom="4252"/></hp:pagePr></hp:secPr>'
          '<hp:ctrl><hp:colPr id="" type="NEWSPAPER" layout="LEFT" colCount="1" sameSz="1" '
          'sameGap="0"/></hp:ctrl>')


def table(rows):
    cells = []
    for r, row in enumerate(rows):
        tcs = "".join(
            '<hp:tc name="" header="0" hasMargin="0" protect="0" editable="0" dirty="0" '
            'borderFillIDRef="1">%s<hp:cellAddr colAddr="%d" rowAddr="%d"/>'
            '<hp:cellSpan colSpan="1" rowSpan="1"/><hp:cellSz width="21260" height="1000"/>'
            '<hp:cellMargin left="510" right="510" top="141" bottom="141"/></hp:tc>'
            % (sub_list([para(run(t(esc(cell))))]), c, r) for c, cell in enumerate(row))
        cells.append("<hp:tr>%s</hp:tr>" % tcs)
    return ('<hp:tbl id="1" zOrder="0" numberingType="TABLE" textWrap="TOP_AND_BOTTOM" '
            'textFlow="BOTH_SIDES" lock="0" dropcapstyle="None" pageBreak="CELL" '
            'repeatHeader="1" rowCnt="%d" colCnt="2" cellSpacing="0" borderFillIDRef="1" '
            'noAdjust="0"><hp:sz width="42520" widthRelTo="ABSOLUTE" height="2000" '
            'heightRelTo="ABSOLUTE" protect="0"/><hp:pos treatAsChar="1" affectLSpacing="0" '
            'flowWithText="1" allowOverlap="0" holdAnchorAndSO="0" vertRelTo="PARA" '
            'horzRelTo="COLUMN" vertAlign="TOP" horzAlign="LEFT" vertOffset="0" '
            'horzOffset="0"/>%s</hp:tbl>' % (len(rows), "".join(cells)))


def text_box(text):
    return ('<hp:rect id="2" zOrder="1" numberingType="PICTURE" textWrap="IN_FRONT_OF_TEXT" '
            'textFlow="BOTH_SIDES" lock="0" dropcapstyle="None" href="" groupLevel="0" '
            'instid="2" ratio="0"><hp:offset x="0" y="0"/><hp:orgSz width="14000" '
            'height="5000"/><hp:curSz width="0" height="0"/><hp:drawText lastWidth="13000" '
            'name="" editable="0">%s<hp:textMargin left="283" right="283" top="283" '
            'bottom="283"/></hp:drawText><hc:pt0 x="0" y="0"/><hc:pt1 x="14000" y="0"/>'
            '<hc:pt2 x="14000" y="5000"/><hc:pt3 x="0" y="5000"/></hp:rect>'
            % sub_list([para(run(t(esc(text))))]))


def footnote(text):
    return ('<hp:ctrl><hp:footNote number="1" suffixChar="41" instId="7">%s</hp:footNote>'
            '</hp:ctrl>' % sub_list([para(run(
                '<hp:ctrl><hp:autoNum num="1" numType="FOOTNOTE"><hp:autoNumFormat '
                'type="DIGIT" userChar="" prefixChar="" suffixChar=")" supscript="0"/>'
                '</hp:autoNum></hp:ctrl>' + t(" ", esc(text))))]))


def field(before, word, after, hidden):
    return run(t(esc(before)) +
               '<hp:ctrl><hp:fieldBegin id="9" type="HYPERLINK" name="" editable="0" dirty="0" '
               'zorder="-1" fieldid="9"><hp:parameters cnt="1" name=""><hp:stringParam '
               'name="Path">%s</hp:stringParam></hp:parameters></hp:fieldBegin></hp:ctrl>'
               % esc(hidden) + t(esc(word)) +
               '<hp:ctrl><hp:fieldEnd beginIDRef="9" fieldid="9"/></hp:ctrl>' + t(esc(after)))


def section(body, namespaces=SECTION_NAMESPACES):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>'
            '<hs:sec %s>%s</hs:sec>' % (namespaces, body)).encode()


def first_section(x, extra=""):
    body = [
        para(run(SEC_PR) + run(t(esc(x["title"])))),
        para(run(t(esc(x["tab"][0]), '<hp:tab width="4000" leader="0" type="1"/>',
                   esc(x["tab"][1])))),
        para(run(t(esc(x["hyphen"][0]), "<hp:hyphen/>", esc(x["hyphen"][1]).replace(" ", "<hp:nbSpace/>", 1)))),
        para(run(t(esc(x["break"][0]), "<hp:lineBreak/>", esc(x["break"][1])))),
        para(field(*x["field"], x["hidden"])),
        para(run(table(x["table"]) + "<hp:t/>")),
        para(run(text_box(x["box"]) + "<hp:t/>")),
        para(run(t(esc(x["note"][0])) + footnote(x["note"][1]) + t(" ", esc(x["note"][2])))),
    ]
    return section("".join(body) + extra)


def second_section(x, namespaces=SECTION_NAMESPACES, prefix="hp"):
    body = "".join(para(run(t(esc(s)))) for s in x["second"])
    if prefix != "hp":
        body = body.replace("<hp:", "<%s:" % prefix).replace("</hp:", "</%s:" % prefix)
    return section(body, namespaces)


VERSION = ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><hv:HCFVersion '
           'xmlns:hv="%sversion" tagetApplication="WORDPROCESSOR" major="5" minor="1" '
           'micro="0" buildNumber="1" os="1" xmlVersion="1.2" application="glotta" '
           'appVersion="1"/>' % NS).encode()
HEADER = ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><hh:head %s version="1.2" '
          'secCnt="2"><hh:beginNum page="1" footnote="1" endnote="1" pic="1" tbl="1" '
          'equation="1"/><hh:refList><hh:fontfaces itemCnt="0"/></hh:refList></hh:head>'
          % SECTION_NAMESPACES).encode()
SETTINGS = ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><ha:HWPApplicationSetting '
            'xmlns:ha="%sapp"><ha:CaretPosition listIDRef="0" paraIDRef="0" pos="0"/>'
            '</ha:HWPApplicationSetting>' % NS).encode()
CONTAINER = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><ocf:container '
             b'xmlns:ocf="urn:oasis:names:tc:opendocument:xmlns:container"><ocf:rootfiles>'
             b'<ocf:rootfile full-path="Contents/content.hpf" '
             b'media-type="application/hwpml-package+xml"/><ocf:rootfile '
             b'full-path="Preview/PrvText.txt" media-type="text/plain"/></ocf:rootfiles>'
             b'</ocf:container>')
MANIFEST = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><odf:manifest '
            b'xmlns:odf="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"/>')
ENCRYPTED_MANIFEST = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><odf:manifest '
    'xmlns:odf="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">%s</odf:manifest>' % "".join(
        '<odf:file-entry odf:full-path="Contents/section%d.xml" odf:media-type="application/xml" '
        'odf:size="4096"><odf:encryption-data odf:checksum-type="SHA1" odf:checksum="AAAA">'
        '<odf:algorithm odf:algorithm-name="AES" odf:initialisation-vector="AAAA"/>'
        '<odf:key-derivation odf:key-derivation-name="PBKDF2" odf:key-size="32" '
        'odf:iteration-count="1024" odf:salt="AAAA"/></odf:encryption-data></odf:file-entry>'
        % n for n in range(2))).encode()


def content_hpf(lang, sections):
    items = ['<opf:item id="header" href="Contents/header.xml" media-type="application/xml"/>']
    items += ['<opf:item id="section%d" href="Contents/section%d.xml" '
              'media-type="application/xml"/>' % (n, n) for n in sections]
    items.append('<opf:item id="settings" href="settings.xml" media-type="application/xml"/>')
    spine = ['<opf:itemref idref="header" linear="yes"/>']
    spine += ['<opf:itemref idref="section%d" linear="yes"/>' % n for n in sections]
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes" ?><opf:package '
            'xmlns:opf="http://www.idpf.org/2007/opf/" xmlns:dc="http://purl.org/dc/elements/1.1/" '
            'version="" unique-identifier="" id=""><opf:metadata><opf:title/>'
            '<opf:language>%s</opf:language></opf:metadata><opf:manifest>%s</opf:manifest>'
            '<opf:spine>%s</opf:spine></opf:package>'
            % (lang, "".join(items), "".join(spine))).encode()


def package(lang, sections=None, mimetype=True, hpf=True, manifest=MANIFEST, version=True):
    x = TEXTS[lang]
    if sections is None:
        sections = {0: first_section(x), 1: second_section(x)}
    members = []
    if mimetype:
        members.append(("mimetype", b"application/hwp+zip", zipfile.ZIP_STORED))
    if version:
        members.append(("version.xml", VERSION, zipfile.ZIP_STORED))
    members.append(("Contents/header.xml", HEADER, zipfile.ZIP_DEFLATED))
    for n, data in sections.items():
        members.append(("Contents/section%d.xml" % n, data, zipfile.ZIP_DEFLATED))
    if hpf:
        members.append(("Contents/content.hpf", content_hpf(lang, list(sections)),
                        zipfile.ZIP_DEFLATED))
    members += [
        ("settings.xml", SETTINGS, zipfile.ZIP_DEFLATED),
        ("META-INF/container.xml", CONTAINER, zipfile.ZIP_DEFLATED),
        ("META-INF/manifest.xml", manifest, zipfile.ZIP_DEFLATED),
        ("Preview/PrvText.txt", x["preview"].encode("utf-16-le"), zipfile.ZIP_DEFLATED),
    ]
    return members


def write_zip(path, members):
    with zipfile.ZipFile(path, "w") as z:
        for name, data, method in members:
            z.writestr(entry(name, method), data, compresslevel=9)
    with open(path, "rb") as f:
        return f.read()


def damaged_deflate(path):
    """en.hwpx with a first section of 400 paragraphs whose deflated bytes
    are overwritten in their last quarter."""
    x = TEXTS["en"]
    many = "".join(para(run(t("Paragraph %d of the keeper's log: the lamp burned all night "
                                "and the sea was calm." % n))) for n in range(400))
    data = write_zip(path, package("en", {0: section(many), 1: second_section(x)}))
    with zipfile.ZipFile(path) as z:
        info = z.getinfo("Contents/section0.xml")
    start = info.header_offset + 30 + len(info.filename.encode()) + len(info.extra)
    damaged = bytearray(data)
    at = start + info.compress_size * 3 // 4
    damaged[at:at + 16] = b"\xff" * 16
    return bytes(damaged)


def main():
    os.makedirs(os.path.join(OUT, "bad"), exist_ok=True)
    os.makedirs(os.path.join(OUT, "other"), exist_ok=True)
    ko = write_zip(os.path.join(OUT, "ko.hwpx"), package("ko"))
    en_x = TEXTS["en"]
    owpml = SECTION_NAMESPACES.replace('xmlns:hp="%sparagraph"' % NS,
                                       'xmlns:hp="%sparagraph" xmlns:p24="%s"'
                                       % (NS, OWPML_PARAGRAPH))
    write_zip(os.path.join(OUT, "en.hwpx"),
              package("en", {0: first_section(en_x), 1: second_section(en_x, owpml, "p24")}))
    with open(os.path.join(OUT, "ko.hwpx.gz"), "wb") as f:
        f.write(gzip.compress(ko, 9, mtime=0))
    write_zip(os.path.join(OUT, "other", "no-mimetype.hwpx"), package("ko", mimetype=False))
    write_zip(os.path.join(OUT, "other", "version.hwpx"),
              package("en", {5: first_section(en_x)}, mimetype=False, hpf=False))
    write_zip(os.path.join(OUT, "other", "hpf-only.zip"), [
        ("version.xml", b'<HCFVersion xmlns="http://example.com/version"/>', zipfile.ZIP_STORED),
        ("Contents/content.hpf", content_hpf("en", [0]), zipfile.ZIP_DEFLATED),
    ])
    with open(os.path.join(OUT, "bad", "cut.hwpx"), "wb") as f:
        f.write(ko[:len(ko) // 2])
    ko_x = TEXTS["ko"]
    broken = first_section(ko_x).decode()
    third = broken.index("<hp:p ", broken.index("<hp:p ", broken.index("<hp:p ") + 1) + 1)
    broken = (broken[:third] + "<hp:p><hp:run><hp:t>망가진 \x00<\x01" +
              broken[third:]).encode()
    write_zip(os.path.join(OUT, "bad", "xml.hwpx"),
              package("ko", {0: broken, 1: second_section(ko_x)}))
    write_zip(os.path.join(OUT, "bad", "no-hpf.hwpx"), package("ko", hpf=False))
    write_zip(os.path.join(OUT, "bad", "encrypted.hwpx"),
              package("ko", manifest=ENCRYPTED_MANIFEST))
    bomb = section(para(run(t("bomb " + " " * (72 << 20)))))
    write_zip(os.path.join(OUT, "bad", "bomb.hwpx"),
              package("en", {0: bomb, 1: second_section(en_x)}))
    path = os.path.join(OUT, "bad", "deflate.hwpx")
    damaged = damaged_deflate(path)
    with open(path, "wb") as f:
        f.write(damaged)
    rows = [
        ("ko.hwpx", 370, "딸기와"),
        ("en.hwpx", 370, "Lighthouse"),
        ("ko.hwpx.gz", 347, "딸기와"),
        ("other/no-mimetype.hwpx", 370, "딸기와"),
        ("other/version.hwpx", 370, "Lighthouse"),
        ("other/hpf-only.zip", 341, "-"),
        ("bad/cut.hwpx", 370, "-"),
        ("bad/xml.hwpx", 370, "동등하다"),
        ("bad/no-hpf.hwpx", 370, "딸기와"),
        ("bad/encrypted.hwpx", 370, "-"),
        ("bad/bomb.hwpx", 370, "brotherhood"),
        ("bad/deflate.hwpx", 370, "Paragraph"),
    ]
    for name, code, word in rows:
        print("hwpx/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
