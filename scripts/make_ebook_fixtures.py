#!/usr/bin/env python3
"""Makes the e-book samples of tests/data/dxfilter/ebook/: Mobipocket books
(Palm databases `BOOKMOBI`) uncompressed, PalmDoc LZ77 compressed (by the
compressor below) and HUFF/CDIC compressed (a dictionary of 8-bit codes
written below, with a phrase that is itself compressed), a KF8 book, a
PalmDoc `TEXtREAd` book, an encrypted, a damaged and a truncated book, and
FictionBook documents in UTF-8 and windows-1251 with a large binary object
before or after the body, a zipped one (also as the macOS Finder zips it,
beside its AppleDouble file under `__MACOSX/`) and look-alikes (an archive
of the AppleDouble file alone among them), EPUB folders zipped without
their `mimetype` entry and look-alikes whose container does not name an
EPUB package document, EPUBs zipped as a folder (`Buch/mimetype`,
`Buch/META-INF/container.xml`, ...) and look-alikes, byte for byte the same each time, and prints their
rows of formats.tsv.

    scripts/make_ebook_fixtures.py >> tests/data/dxfilter/formats.tsv

The sentences are the project's own. SOURCE_DATE_EPOCH (default 2024-01-01)
sets the databases' dates; the binary objects come from a seeded generator."""
import base64
import os
import random
import struct
import sys
import zipfile

from make_iwork_fixtures import APPLE_DOUBLE
from make_xps_fixtures import damage

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "ebook")
EPOCH = int(os.environ.get("SOURCE_DATE_EPOCH", "1704067200"))
PALM_EPOCH = EPOCH + 2082844800  # seconds since 1904-01-01

TEXT = {
    "es": [
        "El tren de la mañana llegó tarde a la estación del pueblo, y nadie pareció sorprenderse.",
        "Mi abuela guardaba las cartas de su hermano en una caja de madera debajo de la cama.",
        "Durante el invierno, los pescadores reparaban sus redes junto al fuego y contaban "
        "historias del mar.",
        "Cuando por fin dejó de llover, los niños salieron corriendo hacia la plaza para jugar "
        "con los charcos.",
        "El médico del barrio conocía a todas las familias y nunca cobraba a quien no podía pagar.",
        "Aquella noche comprendimos que el viejo faro seguía encendido aunque nadie vivía allí "
        "desde hacía años.",
    ],
    "de": [
        "Am Ende des Sommers brachte der Nachbar uns einen Korb voller Äpfel aus seinem Garten.",
        "Die Brücke über den Fluss wurde im Frühling gesperrt, weil das alte Holz zu morsch "
        "geworden war.",
        "Meine Schwester schreibt jeden Abend ein paar Zeilen in ihr Tagebuch, bevor sie das "
        "Licht ausmacht.",
        "Wir warteten zwei Stunden auf den Bus, und als er endlich kam, war er schon völlig "
        "überfüllt.",
        "Der Bäcker an der Ecke öffnet seinen Laden schon um fünf Uhr morgens.",
        "Niemand im Dorf wusste genau, wem das leere Haus am Waldrand eigentlich gehörte.",
    ],
    "fr": [
        "Le facteur passait chaque matin devant la maison de la vieille dame et lui apportait "
        "le journal.",
        "Au bout de la rue, il y avait une petite boulangerie où l'on vendait le meilleur pain "
        "de la ville.",
        "Pendant les vacances, nous allions pêcher au bord de la rivière avec notre grand-père.",
        "Le vent soufflait si fort cette nuit-là que les volets claquaient contre les murs de "
        "la ferme.",
        "Elle a rangé tous ses livres sur l'étagère de la cuisine, faute de place dans le salon.",
        "Personne ne savait pourquoi l'horloge de la mairie s'était arrêtée à minuit précise.",
    ],
    "ru": [
        "Весной река разлилась так широко, что до соседней деревни можно было добраться только "
        "на лодке.",
        "Бабушка каждое утро ставила самовар и ждала, когда проснутся внуки.",
        "На вокзале было холодно, и пассажиры грелись горячим чаем из буфета.",
        "Мой старший брат всю зиму чинил старый велосипед, найденный на чердаке.",
        "Вечером мы долго сидели у костра и слушали, как шумит лес.",
        "Учительница попросила нас написать сочинение о том, кем мы хотим стать.",
    ],
    "bg": [
        "Всяка сутрин дядо ми излизаше на двора и поливаше доматите, преди да стане горещо.",
        "Влакът за морето тръгваше рано, затова спахме само няколко часа.",
        "В малкото село имаше една кръчма, една църква и едно училище с три класни стаи.",
        "Когато заваля сняг, децата извадиха шейните от мазето и хукнаха към хълма.",
        "Майка ми пазеше рецептата за баницата в стара тетрадка с пожълтели страници.",
        "Никой не помнеше откога старият дъб стоеше на площада.",
    ],
    "en": [
        "The lighthouse keeper wrote down the weather every evening in a thick blue notebook.",
        "By the time the ferry reached the island, the fog had lifted and the harbour was full "
        "of boats.",
        "My uncle kept bees behind the barn and sold honey to anyone who knocked on his door.",
        "We walked along the cliffs until the path disappeared into tall grass and heather.",
        "Nobody in the village could remember when the old mill had last turned its wheel.",
    ],
}
TITLE = {"es": "El faro", "de": "Der Garten", "fr": "La rivière", "ru": "Весна в деревне",
         "bg": "Старият дъб", "en": "The island"}

RECORD = 1024  # bytes of text per record (books use 4096; smaller gives several records)


# ---- Palm databases -------------------------------------------------------------------

def pdb(name, type_creator, records):
    """A Palm database: the 78-byte header, the record list, two bytes of
    padding, the records."""
    count = len(records)
    header = struct.pack(">32sHHIIIIII8sIIH", name.encode("latin-1")[:31], 0, 0, PALM_EPOCH,
                         PALM_EPOCH, 0, 0, 0, 0, type_creator, 2 * count, 0, count)
    offset = len(header) + 8 * count + 2
    entries = b""
    for i, rec in enumerate(records):
        entries += struct.pack(">IB", offset, 0) + (2 * i).to_bytes(3, "big")
        offset += len(rec)
    return header + entries + b"\0\0" + b"".join(records)


def lz77(data):
    """PalmDoc LZ77: back references of 3 to 10 bytes within 2047 bytes,
    a space and a character in one byte, literal runs of up to 8 bytes."""
    out = bytearray()
    i = 0
    while i < len(data):
        found = 0
        for length in range(min(10, len(data) - i), 2, -1):
            j = data.rfind(data[i:i + length], max(0, i - 2047), i)
            if j >= 0:
                found = length
                out += (0x8000 | (i - j) << 3 | (length - 3)).to_bytes(2, "big")
                break
        if found:
            i += found
            continue
        c = data[i]
        if c == 0x20 and i + 1 < len(data) and 0x40 <= data[i + 1] < 0x80:
            out.append(data[i + 1] ^ 0x80)
            i += 2
        elif c == 0 or 0x09 <= c < 0x80:
            out.append(c)
            i += 1
        else:
            run = bytearray()
            while i < len(data) and len(run) < 8 and (data[i] >= 0x80 or 1 <= data[i] <= 8):
                run.append(data[i])
                i += 1
            out.append(len(run))
            out += run
    return bytes(out)


def split(data, size):
    return [data[i:i + size] for i in range(0, len(data), size)] or [b""]


def utf8_overlap(chunks, i):
    """The bytes of the next chunk that finish the character chunk i ends in."""
    if i + 1 >= len(chunks):
        return b""
    chunk, nxt = chunks[i], chunks[i + 1]
    k = 0
    while k < len(nxt) and k < 3 and nxt[k] & 0xC0 == 0x80:
        k += 1
    return nxt[:k] if chunk and k else b""


def trailing(record, flags, overlap=b""):
    """A text record followed by its trailing entries: the multibyte
    overlap (flag bit 0), then one size-tagged entry for each higher bit."""
    if flags & 1:
        record += overlap + bytes([len(overlap)])
    bit = 1
    while flags >> bit:
        if flags >> bit & 1:
            content = bytes([bit, 0x11, 0x22])
            record += content + bytes([0x80 | len(content) + 1])
        bit += 1
    return record


def mobi_record0(compression, text_len, text_records, encoding, version, first_non_book,
                 flags, title, huff=(0, 0), encryption=0):
    hlen = 0xE8
    m = bytearray(hlen)

    def put(at, value, fmt=">I"):
        struct.pack_into(fmt, m, at, value)
    m[0:4] = b"MOBI"
    put(4, hlen)
    put(8, 2)  # a book
    put(12, encoding)
    put(16, 0x5EED0001)
    put(20, version)
    for at in range(24, 64, 4):
        put(at, 0xFFFFFFFF)  # no index records
    put(64, first_non_book)
    name = title.encode("utf-8" if encoding == 65001 else "cp1252")
    put(68, 16 + hlen)
    put(72, len(name))
    put(76, 9)
    put(88, version)
    put(92, 0xFFFFFFFF)  # no images
    put(96, huff[0])
    put(100, huff[1])
    put(148, 0xFFFFFFFF)  # no DRM
    put(176, 1, ">H")
    put(178, text_records, ">H")
    put(226, flags, ">H")
    palmdoc = struct.pack(">HHIHHHH", compression, 0, text_len, text_records, RECORD, encryption, 0)
    rec = palmdoc + bytes(m) + name
    return rec + b"\0" * (4 - len(rec) % 4)


def html_book(lang):
    sentences = TEXT[lang]
    half = len(sentences) // 2
    body = [f"<h2>{TITLE[lang]}</h2>"]
    body += [f'<p width="0">{s}</p>' for s in sentences[:half]]
    body.append("<mbp:pagebreak/>")
    body += [f"<p>{s}</p>" for s in sentences[half:]]
    body.append("<mbp:pagebreak/>")
    body += [f"<p>{s}</p>" for s in reversed(sentences)]
    return ("<html><head><guide></guide></head><body>" + "".join(body) +
            "</body></html>")


EOF_RECORD = b"\xe9\x8e\r\n"


def mobi(lang, encoding, compression, flags, version=6, encryption=0):
    text = html_book(lang).encode("utf-8" if encoding == 65001 else "cp1252")
    chunks = split(text, RECORD)
    records = []
    for i, chunk in enumerate(chunks):
        data = chunk if compression == 1 else lz77(chunk)
        records.append(trailing(data, flags, utf8_overlap(chunks, i)))
    first_non_book = len(chunks) + 1
    rec0 = mobi_record0(compression, len(text), len(chunks), encoding, version, first_non_book,
                        flags, TITLE[lang], encryption=encryption)
    return pdb(TITLE[lang].encode("ascii", "replace").decode().replace(" ", "_"), b"BOOKMOBI",
               [rec0] + records + [EOF_RECORD])


def huff_cdic(text):
    """A HUFF record whose 256 codes are all 8 bits long (code byte b names
    phrase 255 - b), and a CDIC record of the phrases: every byte of the
    text, its most frequent words, and one phrase that is itself compressed
    (two word phrases). Returns the records and the phrases in order."""
    words = {}
    for w in text.split(b" "):
        if len(w) >= 2:
            words[b" " + w] = words.get(b" " + w, 0) + 1
    phrases = [bytes([b]) for b in sorted(set(text))]
    for w, n in sorted(words.items(), key=lambda kv: (-kv[1], kv[0])):
        if len(phrases) >= 250:
            break
        if n > 1:
            phrases.append(w)
    literal = [True] * len(phrases)
    a, b = phrases.index(b" de"), phrases.index(b" la")
    phrases.append(bytes([255 - a, 255 - b]))
    literal.append(False)
    table1 = b"".join(struct.pack(">I", 255 << 8 | 0x80 | 8) for _ in range(256))
    table2 = b"".join(struct.pack(">II", 0, 255 if n == 8 else 0) for n in range(1, 33))
    huff = b"HUFF" + struct.pack(">III", 24, 24, 24 + len(table1)) + b"\0" * 8 + table1 + table2
    offsets, data = b"", b""
    for p, lit in zip(phrases, literal):
        offsets += struct.pack(">H", 2 * len(phrases) + len(data))
        data += struct.pack(">H", len(p) | (0x8000 if lit else 0)) + p
    cdic = b"CDIC" + struct.pack(">III", 16, len(phrases), 8) + offsets + data
    expansions = [p if lit else phrases[a] + phrases[b] for p, lit in zip(phrases, literal)]
    return huff, cdic, expansions


def huff_encode(data, expansions):
    out = bytearray()
    i = 0
    order = sorted(range(len(expansions)), key=lambda k: -len(expansions[k]))
    while i < len(data):
        for k in order:
            if data.startswith(expansions[k], i):
                out.append(255 - k)
                i += len(expansions[k])
                break
    return bytes(out)


def mobi_huff(lang, flags):
    text = html_book(lang).encode("utf-8")
    huff, cdic, expansions = huff_cdic(text)
    chunks = split(text, RECORD)
    records = [trailing(huff_encode(c, expansions), flags) for c in chunks]
    n = len(chunks)
    rec0 = mobi_record0(17480, len(text), n, 65001, 6, n + 1, flags, TITLE[lang],
                        huff=(n + 1, 2))
    return pdb("La_riviere", b"BOOKMOBI", [rec0] + records + [huff, cdic, EOF_RECORD])


def palmdoc(lang):
    text = "\n\n".join([TITLE[lang]] + TEXT[lang] + list(reversed(TEXT[lang]))).encode("cp1252")
    chunks = split(text, RECORD)
    rec0 = struct.pack(">HHIHHI", 2, 0, len(text), len(chunks), RECORD, 0)
    return pdb("The island", b"TEXtREAd", [rec0] + [lz77(c) for c in chunks])


# ---- FictionBook ------------------------------------------------------------------------

def cover(seed, size):
    rnd = random.Random(seed)
    raw = bytes(rnd.getrandbits(8) for _ in range(size))
    b64 = base64.b64encode(raw).decode()
    return "\n".join(b64[i:i + 76] for i in range(0, len(b64), 76))


def fb2(lang, encoding, binary_first, size=24000):
    s = TEXT[lang]
    binary = f'<binary id="cover.jpg" content-type="image/jpeg">{cover(lang, size)}</binary>'
    description = (
        "<description><title-info><genre>prose_contemporary</genre><genre>short_story</genre>"
        "<author><first-name>Ivan</first-name><last-name>Sample</last-name></author>"
        f"<book-title>{TITLE[lang]}</book-title>"
        f"<annotation><p>{s[0]}</p></annotation>"
        "<keywords>village, river, spring, family, story</keywords>"
        "<date>2024</date><coverpage><image l:href=\"#cover.jpg\"/></coverpage>"
        f"<lang>{lang}</lang></title-info>"
        "<document-info><author><nickname>editor</nickname></author>"
        "<program-used>Example Book Editor Release 2.6 for Windows</program-used>"
        "<date value=\"2024-01-01\">January 1, 2024</date>"
        "<src-url>http://www.example.net/library/books/item/123456</src-url>"
        "<id>8F2C6B4E-1A2B-4C3D-9E8F-0123456789AB</id><version>1.0</version>"
        "<history><p>Version 1.0: created from the author's manuscript.</p></history>"
        "</document-info>"
        "<publish-info><publisher>Example Press</publisher><city>Sample City</city>"
        "<year>2024</year><isbn>978-0-00-000000-0</isbn></publish-info></description>")
    body = (
        "<body><title><p>" + TITLE[lang] + "</p></title>"
        "<epigraph><p>" + s[-1] + "</p><text-author>" + TITLE[lang] + "</text-author></epigraph>"
        "<section><title><p>1</p></title>" + "".join(f"<p>{x}</p>" for x in s[:3]) +
        "<empty-line/><poem><stanza><v>" + s[3] + "</v><v>" + s[4] + "</v></stanza></poem>"
        "</section><section><title><p>2</p></title>" +
        "".join(f"<p>{x}<a l:href=\"#n1\" type=\"note\">[1]</a></p>" for x in s[3:]) +
        "</section></body>"
        "<body name=\"notes\"><section id=\"n1\"><title><p>1</p></title><p>" + s[1] +
        "</p></section></body>")
    parts = [description, binary, body] if binary_first else [description, body, binary]
    doc = (f'<?xml version="1.0" encoding="{encoding}"?>\n'
           '<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0" '
           'xmlns:l="http://www.w3.org/1999/xlink">\n' + "\n".join(parts) + "\n</FictionBook>\n")
    return doc.encode(encoding)


def zipped(members):
    """A zip archive of fixed times and modes."""
    import io
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 3
            z.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


# ---- EPUB without a `mimetype` entry ------------------------------------------------------

def container(rootfiles):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">'
            f"<rootfiles>{rootfiles}</rootfiles></container>\n")


def rootfile(path, media_type="application/oebps-package+xml"):
    return f'<rootfile full-path="{path}" media-type="{media_type}"/>'


def opf(lang, chapters):
    items = "".join(f'<item id="c{i}" href="{name}" media-type="application/xhtml+xml"/>'
                    for i, name in enumerate(chapters))
    spine = "".join(f'<itemref idref="c{i}"/>' for i in range(len(chapters)))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">'
            '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/">'
            f'<dc:identifier id="id">urn:uuid:676c6f74-7461-4000-8000-0000{lang.encode().hex()}0000'
            f"</dc:identifier><dc:title>{TITLE[lang]}</dc:title><dc:language>{lang}</dc:language>"
            f"</metadata><manifest>{items}</manifest><spine>{spine}</spine></package>\n")


def xhtml(lang, paragraphs):
    body = "".join(f"<p>{x}</p>" for x in paragraphs)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<html xmlns="http://www.w3.org/1999/xhtml" lang="{lang}"><head><title>'
            f"{TITLE[lang]}</title></head><body>{body}</body></html>\n")


def epub_members(lang, base, container_xml, folders=False, mimetype=False):
    """An EPUB's members: the container, the package document in `base` and
    two chapters; `folders`: with the folders' own entries, as `zip -r`
    writes them; `mimetype`: with the `mimetype` entry first, and the second
    chapter named from the package's root ("../OEBPS/two.xhtml")."""
    s = TEXT[lang]
    second = ("../" + base if mimetype else "") + "two.xhtml"
    members = [("META-INF/container.xml", container_xml.encode()),
               (base + "package.opf", opf(lang, ["one.xhtml", second]).encode()),
               (base + "one.xhtml", xhtml(lang, s[:3]).encode()),
               (base + "two.xhtml", xhtml(lang, s[3:]).encode())]
    if folders:
        members = [("META-INF/", b""), members[0], (base, b"")] + members[1:]
    if mimetype:
        members = [("mimetype", b"application/epub+zip")] + members
    return members


def folder_epub(lang, base, container_xml, folders=False):
    """An EPUB's folder zipped as it is, without the `mimetype` entry that
    must come first (epub_members)."""
    return zipped(epub_members(lang, base, container_xml, folders))


def in_folder(top, members):
    """`members` as zipping the package's folder `top` leaves them: the
    folder's own entry first, every name inside it."""
    return [(top, b"")] + [(top + name, data) for name, data in members]


def write(name, data, grep, fmt):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
    print(f"ebook/{name}\t{fmt}\t{grep}")


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    es = mobi("es", 1252, 2, 0b10)
    write("es-lz77.mobi", es, "pescadores", 350)
    write("de-none.prc", mobi("de", 1252, 1, 0), "Schwester", 350)
    write("fr-huff.azw", mobi_huff("fr", 0b10), "boulangerie", 350)
    # KF8 (version 8), UTF-8, records cut inside characters: the multibyte
    # overlap and a size-tagged entry trail each record.
    write("ru-kf8.azw3", mobi("ru", 65001, 2, 0b11, version=8), "самовар", 350)
    write("en-palmdoc.pdb", palmdoc("en"), "lighthouse", 350)
    # Refused: an encrypted book; a back reference before its record's start.
    write("encrypted.mobi", mobi("es", 1252, 2, 0b10, encryption=2), "-", 350)
    damaged = bytearray(es)
    first_text = struct.unpack_from(">I", damaged, 78 + 8)[0]
    damaged[first_text:first_text + 2] = b"\x87\xff"
    write("damaged.mobi", bytes(damaged), "-", 350)
    write("truncated.mobi", es[: len(es) * 2 // 3], "-", 346)
    # FictionBook: the cover before the body, or after it.
    write("ru-utf8.fb2", fb2("ru", "utf-8", True), "самовар", 351)
    write("ru-1251.fb2", fb2("ru", "windows-1251", False), "самовар", 351)
    write("bg.fb2.zip", zipped([("bg.fb2", fb2("bg", "utf-8", True, 8000))]), "баницата", 351)
    # Zipped by the Finder: the AppleDouble file does not count as a member.
    finder = [("__MACOSX/", b""), ("__MACOSX/._bg.fb2", APPLE_DOUBLE)]
    write("bg-finder.fb2.zip", zipped([("bg.fb2", fb2("bg", "utf-8", True, 800))] + finder),
          "баницата", 351)
    # Look-alikes: two members are an archive; another root element is XML.
    write("two.zip", zipped([("bg.fb2", fb2("bg", "utf-8", True, 800)),
                             ("cover.txt", b"cover\n")]), "-", 341)
    write("finder-only.zip", zipped(finder[1:]), "-", 341)
    write("not-fb2.xml", b'<?xml version="1.0"?>\n<library xmlns:x="urn:example">'
          b"<note>FictionBook</note><x:FictionBook/></library>\n", "-", 285)
    # EPUB folders zipped without their `mimetype` entry: the container
    # names the package document. Look-alikes stay archives: a container cut
    # short, one whose compressed bytes are damaged, one whose rootfile is a
    # PDF, one without a rootfile.
    package = rootfile("OEBPS/package.opf")
    de = folder_epub("de", "OEBPS/", container(package), folders=True)
    write("de-nomime.epub", de, "Schwester", 307)
    write("fr-nomime.epub", folder_epub("fr", "", container(rootfile("package.opf"))),
          "boulangerie", 307)
    cut = container(package)
    write("container-cut.epub", folder_epub("de", "OEBPS/", cut[:cut.index("</rootfiles>")]),
          "-", 341)
    write("container-crc.epub", damage(de, "META-INF/container.xml"), "-", 341)
    write("container-pdf.zip", folder_epub("de", "OEBPS/", container(
        rootfile("book.pdf", "application/pdf") + package)), "-", 341)
    write("container-norootfile.zip", folder_epub("de", "OEBPS/", container("")), "-", 341)
    # EPUBs zipped as a folder, as the Finder and web downloads zip one:
    # every entry inside one folder at the root (beside the Finder's own),
    # with the `mimetype` entry or without. Look-alikes stay archives: two
    # folders at the root, the package a level deeper, a file beside it.
    book = epub_members("de", "OEBPS/", container(package), folders=True, mimetype=True)
    write("de-folder.zip", zipped(in_folder("Buch/", book)), "Schwester", 307)
    livre = epub_members("fr", "", container(rootfile("package.opf")))
    write("fr-folder-finder.zip", zipped(in_folder("Livre/", livre) + [
        ("Livre/.DS_Store", b"\0\0\0\1Bud1"), ("__MACOSX/", b""), ("__MACOSX/Livre/", b""),
        ("__MACOSX/Livre/._package.opf", APPLE_DOUBLE)]), "boulangerie", 307)
    write("folder-two.zip", zipped(in_folder("Buch/", book) + in_folder("Extra/", [
        ("notes.txt", b"notes\n")])), "-", 341)
    write("folder-deeper.zip", zipped(in_folder("Archiv/", in_folder("Buch/", book))), "-", 341)
    write("folder-beside.zip", zipped(in_folder("Buch/", book) + [("notes.txt", b"notes\n")]),
          "-", 341)


if __name__ == "__main__":
    sys.exit(main())
