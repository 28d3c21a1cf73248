#!/usr/bin/env python3
"""Makes the samples of tests/data/dxfilter/msxml/: Office's single-file XML
documents and their look-alikes. The flat packages are pandoc's and
ssconvert's packages written out as Word and PowerPoint write their "XML
Document" and "XML Presentation" (every part a `pkg:part`, XML parts as
`pkg:xmlData`, the others base64 in `pkg:binaryData`); the Word and Excel
2003 documents are written here as those programs write them.

  de-letter.xml      Word 2003 XML: a letter with a picture (base64), document
                     and custom properties, fonts, styles, lists, a field
                     code, a footnote in its run, a text box, a deletion and
                     a comment
  ru-utf16.xml       Word 2003 XML in UTF-16 with a byte-order mark, without
                     the `mso-application` instruction
  fr-flat.xml        a flat word processing package (pandoc's DOCX) with a
                     footnote and a picture
  es-flat-pptx.xml   a flat presentation (pandoc's PPTX) of three slides whose
                     parts stand in the file in another order than the
                     slides (third, first, second), with an instruction that
                     names Word (the main part's content type decides)
  en-flat-xlsx.xml   a flat workbook (ssconvert's XLSX): shared strings and
                     numbers on two sheets
  de-sheet.xls       Excel 2003 XML as a web exporter saves it: strings, a rich
                     string, numbers, a date, a boolean, an error and a
                     comment on two sheets
  xhtml-mentions.xml an XHTML page that names the three namespaces (XML)
  svg-mentions.svg   an SVG drawing whose root binds the package namespace to
                     another prefix (XML)
  nons-word.xml      a root `wordDocument` in no namespace (XML)

SampleSS.xml beside them is Apache POI's SpreadsheetML sample, kept as it
is. Prints the samples' rows of formats.tsv (make_filter_fixtures.sh
appends them to the table). Run from the repository's root:
python3 scripts/make_msxml_fixtures.py (needs pandoc and ssconvert).
"""
import base64
import os
import random
import re
import struct
import subprocess
import tempfile
import time
import zipfile
import zlib

OUT = os.path.join("tests", "data", "dxfilter", "msxml")
PKG = "http://schemas.microsoft.com/office/2006/xmlPackage"
W = "http://schemas.microsoft.com/office/word/2003/wordml"


def png(width, height, seed):
    rnd = random.Random(seed)
    rows = b"".join(b"\0" + bytes(rnd.randrange(256) for _ in range(width * 3))
                    for _ in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def b64_lines(data):
    text = base64.b64encode(data).decode()
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76))


def flat_package(path, progid, order=None):
    """The flat form of the package at `path`: its parts in archive order
    (or `order`, a function that sorts the part names)."""
    with zipfile.ZipFile(path) as z:
        types = z.read("[Content_Types].xml").decode()
        defaults = dict(re.findall(r'<Default Extension="([^"]+)" ContentType="([^"]+)"', types))
        overrides = dict(re.findall(r'<Override PartName="([^"]+)" ContentType="([^"]+)"', types))
        names = [n for n in z.namelist() if n != "[Content_Types].xml" and not n.endswith("/")]
        if order:
            names = order(names)
        out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
               f'<?mso-application progid="{progid}"?>',
               f'<pkg:package xmlns:pkg="{PKG}">']
        for name in names:
            part = "/" + name
            ext = name.rsplit(".", 1)[-1].lower()
            ctype = overrides.get(part, defaults.get(ext, "application/octet-stream"))
            data = z.read(name)
            if ctype.endswith("xml"):
                xml = re.sub(rb"^<\?xml[^>]*\?>\s*", b"", data).decode()
                out.append(f'<pkg:part pkg:name="{part}" pkg:contentType="{ctype}">'
                           f'<pkg:xmlData>{xml}</pkg:xmlData></pkg:part>')
            else:
                out.append(f'<pkg:part pkg:name="{part}" pkg:contentType="{ctype}" '
                           f'pkg:compression="store"><pkg:binaryData>{b64_lines(data)}'
                           '</pkg:binaryData></pkg:part>')
        out.append("</pkg:package>")
        return "\n".join(out) + "\n"


def pandoc(markdown, kind, workdir, resources=()):
    src = os.path.join(workdir, "in.md")
    with open(src, "w", encoding="utf-8") as f:
        f.write(markdown)
    dst = os.path.join(workdir, "out." + kind)
    subprocess.run(["pandoc", src, "-o", dst, "--resource-path", workdir], check=True)
    return dst


WORDML_HEAD = f'''<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<?mso-application progid="Word.Document"?>
<w:wordDocument xmlns:w="{W}" xmlns:wx="http://schemas.microsoft.com/office/word/2003/auxHint" xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office" xmlns:aml="http://schemas.microsoft.com/aml/2001/core" w:macrosPresent="no" w:embeddedObjPresent="no" w:ocxPresent="no" xml:space="preserve">'''


def de_letter():
    picture = b64_lines(png(48, 48, 7))
    return WORDML_HEAD + f'''
<o:DocumentProperties><o:Title>Angebot</o:Title><o:Author>Przemysław Wiśniewski</o:Author><o:LastAuthor>Szczepan Brzęczyszczykiewicz</o:LastAuthor><o:Revision>3</o:Revision><o:Created>2007-01-01T10:00:00Z</o:Created><o:Pages>1</o:Pages><o:Words>120</o:Words><o:Company>Przedsiębiorstwo Wielobranżowe</o:Company><o:Version>11.5606</o:Version></o:DocumentProperties>
<o:CustomDocumentProperties><o:Dział dt:dt="string" xmlns:dt="uuid:C2F41010-65B3-11d1-A29F-00AA00C14882">Sprzedaż i księgowość</o:Dział></o:CustomDocumentProperties>
<w:fonts><w:defaultFonts w:ascii="Times New Roman" w:fareast="Times New Roman" w:h-ansi="Times New Roman" w:cs="Times New Roman"/><w:font w:name="Wingdings"><w:panose-1 w:val="05000000000000000000"/><w:charset w:val="02"/><w:family w:val="Auto"/><w:pitch w:val="variable"/></w:font></w:fonts>
<w:lists><w:listDef w:listDefId="0"><w:lvl w:ilvl="0"><w:start w:val="1"/><w:lvlText w:val="%1."/></w:lvl></w:listDef><w:list w:ilfo="1"><w:ilst w:val="0"/></w:list></w:lists>
<w:styles><w:versionOfBuiltInStylenames w:val="4"/><w:style w:type="paragraph" w:default="on" w:styleId="Normal"><w:name w:val="Normal"/><w:rPr><w:sz w:val="24"/><w:lang w:val="PL" w:fareast="PL" w:bidi="AR-SA"/></w:rPr></w:style></w:styles>
<w:docPr><w:view w:val="print"/><w:zoom w:percent="100"/><w:proofState w:spelling="clean" w:grammar="clean"/><w:defaultTabStop w:val="708"/><w:punctuationKerning/><w:characterSpacingControl w:val="DontCompress"/><w:validateAgainstSchema/><w:footnotePr><w:footnote w:type="separator"><w:p><w:r><w:separator/></w:r></w:p></w:footnote></w:footnotePr></w:docPr>
<w:body><wx:sect>
<w:p><w:r><w:pict><v:shapetype id="_x0000_t75" coordsize="21600,21600" o:spt="75" path="m@4@5l@4@11@9@11@9@5xe"/><w:binData w:name="wordml://02000001.png">{picture}</w:binData><v:shape id="_x0000_i1025" type="#_x0000_t75" style="width:36pt;height:36pt"><v:imagedata src="wordml://02000001.png" o:title="Logo"/></v:shape></w:pict></w:r></w:p>
<w:p><w:pPr><w:jc w:val="right"/><w:tabs><w:tab w:val="left" w:pos="4500"/></w:tabs></w:pPr><w:r><w:t>Hamburg, den </w:t></w:r><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText> DATE \\@ "d. MMMM yyyy" </w:instrText></w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>3. März 2007</w:t></w:r><w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>
<w:p><w:r><w:t>Sehr geehrte Damen und Herren,</w:t></w:r></w:p>
<w:p><w:r><w:t>vielen Dank für Ihre freundliche Anfrage vom letzten Monat. Gerne unterbreiten wir Ihnen heute unser Angebot</w:t></w:r><w:r><w:footnote><w:p><w:pPr><w:pStyle w:val="FootnoteText"/></w:pPr><w:r><w:t>Alle Preise verstehen sich zuzüglich der gesetzlichen Mehrwertsteuer.</w:t></w:r></w:p></w:footnote></w:r><w:r><w:t> für die Lieferung der gewünschten Waren. Die Ware wird innerhalb von drei Wochen nach Eingang Ihrer Bestellung geliefert.</w:t></w:r></w:p>
<w:p><w:r><w:pict><v:shape id="_x0000_s1026" type="#_x0000_t202" style="width:150pt;height:40pt"><v:textbox><w:txbxContent><w:p><w:r><w:t>Bitte beachten Sie unsere neuen Öffnungszeiten.</w:t></w:r></w:p></w:txbxContent></v:textbox></v:shape></w:pict></w:r><w:r><w:t>Wir würden uns sehr freuen, wenn unser Angebot Ihre Zustimmung findet, und stehen Ihnen für Rückfragen jederzeit gerne zur Verfügung.</w:t></w:r><aml:annotation aml:id="0" w:type="Word.Deletion" aml:author="Przemysław Wiśniewski" aml:createdate="2007-01-02T10:00:00Z"><aml:content><w:r><w:delText>Pozdrawiamy serdecznie i życzymy powodzenia.</w:delText></w:r></aml:content></aml:annotation><aml:annotation aml:id="1" w:type="Word.Comment" aml:author="Szczepan"><aml:content><w:p><w:r><w:t>Czy cena jest właściwa? Proszę sprawdzić przed wysłaniem.</w:t></w:r></w:p></aml:content></aml:annotation></w:p>
<w:p><w:pPr><w:listPr><w:ilvl w:val="0"/><w:ilfo w:val="1"/><wx:t wx:val="1."/></w:listPr></w:pPr><w:r><w:t>Die Zahlung erfolgt innerhalb von dreißig Tagen ohne Abzug.</w:t></w:r></w:p>
<w:p><w:r><w:t>Mit freundlichen Grüßen</w:t></w:r><w:r><w:br/></w:r><w:r><w:t>Hans Meier</w:t></w:r></w:p>
<w:sectPr><w:hdr w:type="odd"><w:p><w:r><w:t>Przedsiębiorstwo Wielobranżowe spółka z ograniczoną odpowiedzialnością</w:t></w:r></w:p></w:hdr><w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1417" w:right="1417" w:bottom="1134" w:left="1417" w:header="708" w:footer="708" w:gutter="0"/></w:sectPr>
</wx:sect></w:body></w:wordDocument>
'''


def ru_utf16():
    head = WORDML_HEAD.replace('encoding="UTF-8"', 'encoding="UTF-16"').replace(
        '<?mso-application progid="Word.Document"?>\n', "")
    paragraphs = [
        "Дорогая бабушка, мы очень рады, что ты приедешь к нам летом.",
        "Дети каждый день спрашивают, когда же ты наконец приедешь, и считают дни.",
        "Погода у нас тёплая, в саду уже цветут яблони, а на реке можно купаться.",
        "Мы приготовили для тебя комнату на втором этаже с видом на лес.",
    ]
    body = "".join(f"<w:p><w:r><w:t>{p}</w:t></w:r></w:p>" for p in paragraphs)
    text = head + f"\n<w:body>{body}</w:body></w:wordDocument>\n"
    return "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")


FR_TEXT = """# Les vacances à la montagne

Nous avons passé une semaine magnifique dans un petit village des Alpes.
Chaque matin, nous prenions le petit déjeuner sur la terrasse en regardant
les sommets enneigés.[^1]

![Le chalet](chalet.png)

L'après-midi, nous partions nous promener dans la forêt ou au bord du lac, et
le soir nous dînions dans une auberge où l'on servait une excellente fondue.

[^1]: Le temps était ensoleillé presque tous les jours de la semaine.
"""

ES_TEXT = """# La reunión de los agricultores

Los agricultores del valle se reunieron el lunes para hablar de la cosecha.

# El tiempo y la cosecha

La lluvia de la primavera fue muy abundante y las huertas están verdes.

# Los próximos pasos

Después de la reunión, todos fueron a comer juntos en la plaza del pueblo.
"""


def es_order(names):
    """The root relationships and the presentation first, as PowerPoint has
    them, then the slides third, first, second, then the rest."""
    def key(name):
        if name in ("_rels/.rels", "ppt/presentation.xml", "ppt/_rels/presentation.xml.rels"):
            return -1
        m = re.fullmatch(r"ppt/slides/slide(\d+)\.xml", name)
        return {3: 0, 1: 1, 2: 2}.get(int(m.group(1)), 3) if m else 4
    return sorted(names, key=key)


def en_flat_xlsx(workdir):
    csv = os.path.join(workdir, "in.csv")
    with open(csv, "w") as f:
        f.write("Name,Quantity\n")
        f.write("The neighbours brought apples from their garden,12\n")
        f.write("We thanked them and promised to bake a pie for everyone,7\n")
        f.write("The children helped to carry the heavy baskets home,3\n")
    dst = os.path.join(workdir, "out.xlsx")
    subprocess.run(["ssconvert", "-T", "Gnumeric_Excel:xlsx2", csv, dst], check=True,
                   stderr=subprocess.DEVNULL)
    # ssconvert stamps the package with the time it was written.
    when = time.strftime("%Y-%m-%dT%H:%M:%SZ",
                         time.gmtime(int(os.environ.get("SOURCE_DATE_EPOCH", "1704067200"))))
    return re.sub(r"(<dcterms:(?:created|modified)[^>]*>)[^<]*", r"\g<1>" + when,
                  flat_package(dst, "Excel.Sheet"))


def de_sheet():
    return '''<?xml version="1.0" encoding="UTF-8"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:o="urn:schemas-microsoft-com:office:office" xmlns:x="urn:schemas-microsoft-com:office:excel" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet" xmlns:html="http://www.w3.org/TR/REC-html40">
 <DocumentProperties xmlns="urn:schemas-microsoft-com:office:office"><Title>Zestawienie sprzedaży</Title><Author>Przemysław Wiśniewski</Author><Company>Przedsiębiorstwo Wielobranżowe</Company></DocumentProperties>
 <ExcelWorkbook xmlns="urn:schemas-microsoft-com:office:excel"><WindowHeight>8000</WindowHeight><ProtectStructure>False</ProtectStructure></ExcelWorkbook>
 <Styles><Style ss:ID="Default" ss:Name="Normal"><Font ss:FontName="Arial"/></Style><Style ss:ID="d"><NumberFormat ss:Format="Short Date"/></Style></Styles>
 <Worksheet ss:Name="Übersicht">
  <Table>
   <Row><Cell><Data ss:Type="String">Die Mühle am Bach wurde im letzten Jahr vollständig renoviert.</Data></Cell><Cell><Data ss:Type="Number">1998</Data></Cell></Row>
   <Row><Cell><ss:Data ss:Type="String" xmlns="http://www.w3.org/TR/REC-html40"><B>Wichtig:</B> Die Besucher können jetzt <Font html:Color="#FF0000">jeden Sonntag</Font> das Mahlwerk besichtigen.</ss:Data></Cell><Cell ss:StyleID="d"><Data ss:Type="DateTime">2007-03-03T00:00:00.000</Data></Cell></Row>
   <Row><Cell><Data ss:Type="Boolean">1</Data></Cell><Cell><Data ss:Type="Error">#DIV/0!</Data></Cell><Cell><Data ss:Type="String">Der Müller erklärt gerne, wie früher das Getreide gemahlen wurde.</Data><Comment ss:Author="Przemysław"><ss:Data xmlns="http://www.w3.org/TR/REC-html40"><B>Szczepan:</B> proszę sprawdzić tę liczbę przed wysłaniem</ss:Data></Comment></Cell></Row>
  </Table>
  <WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Selected/><ProtectObjects>False</ProtectObjects></WorksheetOptions>
 </Worksheet>
 <Worksheet ss:Name="Preise">
  <Table>
   <Row><Cell><Data ss:Type="String">Im Sommer ist die Mühle auch an Feiertagen geöffnet.</Data></Cell><Cell ss:Formula="=2*3"><Data ss:Type="Number">6</Data></Cell></Row>
  </Table>
 </Worksheet>
</Workbook>
'''


XHTML = f'''<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:pkg="{PKG}" xmlns:w="{W}"><head><title>Office XML</title></head>
<body><p>Word's XML documents use the namespace {W}; flat packages use {PKG};
Excel's use urn:schemas-microsoft-com:office:spreadsheet. This page only talks about them.</p>
<pkg:package/><w:wordDocument/></body></html>
'''

SVG = f'''<?xml version="1.0" encoding="UTF-8"?>
<svg:package xmlns:svg="http://www.w3.org/2000/svg" xmlns:pkg="{PKG}" width="10" height="10">
<svg:text x="1" y="5">The namespace of Office packages is only mentioned here.</svg:text>
<pkg:part pkg:name="/word/document.xml" pkg:contentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
</svg:package>
'''

NONS = '''<?xml version="1.0"?>
<wordDocument><body><p><t>A root of the right name in no namespace is plain XML.</t></p></body></wordDocument>
'''


def main():
    os.makedirs(OUT, exist_ok=True)

    def write(name, data):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))

    write("de-letter.xml", de_letter())
    write("ru-utf16.xml", ru_utf16())
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "chalet.png"), "wb") as f:
            f.write(png(32, 32, 3))
        write("fr-flat.xml", flat_package(pandoc(FR_TEXT, "docx", work), "Word.Document"))
        pptx = pandoc(ES_TEXT, "pptx", work)
        write("es-flat-pptx.xml", flat_package(pptx, "Word.Document", es_order))
        write("en-flat-xlsx.xml", en_flat_xlsx(work))
    write("de-sheet.xls", de_sheet())
    write("xhtml-mentions.xml", XHTML)
    write("svg-mentions.svg", SVG)
    write("nons-word.xml", NONS)
    for name, code, word in (
            ("de-letter.xml", 378, "Öffnungszeiten"), ("ru-utf16.xml", 378, "бабушка"),
            ("fr-flat.xml", 301, "fondue"), ("es-flat-pptx.xml", 303, "agricultores"),
            ("en-flat-xlsx.xml", 302, "neighbours"), ("de-sheet.xls", 379, "Mühle"),
            ("SampleSS.xml", 379, "sheet"), ("xhtml-mentions.xml", 210, "-"),
            ("svg-mentions.svg", 285, "-"), ("nons-word.xml", 285, "-")):
        print("msxml/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
