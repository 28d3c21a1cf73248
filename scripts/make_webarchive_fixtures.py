#!/usr/bin/env python3
"""Makes the web archive samples of tests/data/dxfilter/webarchive/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the table).

A web archive (`.webarchive`, as Safari saves a page) is a property list
whose root dictionary holds the page as `WebMainResource` (a dictionary of
`WebResourceData`, the page's bytes, `WebResourceMIMEType`,
`WebResourceTextEncodingName`, `WebResourceURL`, `WebResourceFrameName`),
the page's images, style sheets and scripts as `WebSubresources` and the
archives of its frames as `WebSubframeArchives`. Python's plistlib writes
both forms (binary `bplist00` and XML); the cyclic and damaged lists are
written by this script's own small writer of the binary form.

  en.webarchive        an English page in UTF-8 with a script and a style
                       sheet in the page, an image, a style sheet and an HTML
                       advertisement frame's page as subresources (no text)
  en.xml.webarchive    the same as an XML property list
  ru.webarchive        Russian in windows-1251, named so by the archive; the
                       page's meta element names UTF-8 (the archive's name
                       decides)
  ru-meta.xml.webarchive Russian in windows-1251 without an encoding name,
                       declared by the page's meta element (XML form)
  ja.webarchive        Japanese in Shift_JIS, named so by the archive, no
                       declaration in the page
  frames.webarchive    a German page, then its two frames: a French one in
                       ISO-8859-1 that holds a Spanish frame, and an Italian
                       one; the pages come in that order
  plain.webarchive     an Italian text/plain main resource
  image.webarchive     a main resource that is an image: no text
  en.webarchive.gz     en.webarchive in a gzip stream without name or time
  bad/cut.webarchive   en.webarchive cut in half: its trailer is gone
  bad/cut.xml.webarchive en.xml.webarchive cut in half: not well formed
  bad/offset.webarchive en.webarchive whose offset table points an object
                       into the table itself
  bad/reference.webarchive a dictionary's value refers to an object past the
                       object count
  bad/cyclic.webarchive a frame archive list that holds the root archive
  bad/shared.webarchive 25 levels of frames, each level's list holding the
                       next level's archive twice (one object): 2^25 paths
  bad/deep.webarchive  frames nested 20 deep, each with a page of its own
  other/settings.plist a binary property list that is no web archive
  other/settings.xml.plist an XML property list that is no web archive

The sentences are the project's own. Two runs write the same bytes.
"""
import gzip
import os
import plistlib
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "webarchive")

PNG = bytes.fromhex("89504e470d0a1a0a0000000d4948445200000001000000010806000000"
                    "1f15c4890000000d49444154789c6360000002000154a24f5d0000000049454e44ae426082")


def page(title, paragraphs, charset, meta=None, extra=""):
    head = "<title>%s</title>" % title
    if meta:
        head = '<meta charset="%s">' % meta + head
    body = "".join("<p>%s</p>\n" % p for p in paragraphs)
    html = ("<!DOCTYPE html>\n<html><head>%s%s</head>\n<body>\n<h1>%s</h1>\n%s</body></html>\n"
            % (head, extra, title, body))
    return html.encode(charset)


def resource(data, mime, url, encoding=None, frame=None):
    r = {"WebResourceData": data, "WebResourceMIMEType": mime, "WebResourceURL": url}
    if encoding:
        r["WebResourceTextEncodingName"] = encoding
    if frame is not None:
        r["WebResourceFrameName"] = frame
    return r


def archive(main, subresources=(), frames=()):
    a = {"WebMainResource": main}
    if subresources:
        a["WebSubresources"] = list(subresources)
    if frames:
        a["WebSubframeArchives"] = list(frames)
    return a


TEXTS = {
    "en": ("The lighthouse keeper",
           ["Every evening the keeper climbs the narrow stairs and lights the lamp before the "
            "ships come round the cape.",
            "In winter the storms are so loud that he writes his letters by candlelight and "
            "sends them with the supply boat."]),
    "ru": ("Смотритель маяка",
           ["Каждый вечер смотритель поднимается по узкой лестнице и зажигает лампу, пока "
            "корабли не обогнули мыс.",
            "Зимой штормы так громки, что он пишет письма при свечах и отправляет их с "
            "лодкой снабжения."]),
    "ja": ("灯台守",
           ["毎晩、灯台守は狭い階段を上り、船が岬を回る前にランプに火をともします。",
            "冬になると嵐がとても激しいので、彼はろうそくの明かりで手紙を書き、補給船に託します。"]),
    "de": ("Der Leuchtturmwärter",
           ["Jeden Abend steigt der Wärter die schmale Treppe hinauf und zündet die Lampe an, "
            "bevor die Schiffe um das Kap fahren.",
            "Im Winter sind die Stürme so laut, dass er seine Briefe bei Kerzenlicht schreibt "
            "und sie mit dem Versorgungsboot schickt."]),
    "fr": ("Le gardien du phare",
           ["Chaque soir, le gardien monte l'escalier étroit et allume la lampe avant que les "
            "navires ne contournent le cap.",
            "En hiver, les tempêtes sont si bruyantes qu'il écrit ses lettres à la bougie et "
            "les confie au bateau de ravitaillement."]),
    "es": ("El farero",
           ["Cada tarde el farero sube la estrecha escalera y enciende la lámpara antes de que "
            "los barcos doblen el cabo.",
            "En invierno las tormentas son tan fuertes que escribe sus cartas a la luz de una "
            "vela y las envía con la barca de suministros."]),
    "it": ("Il guardiano del faro",
           ["Ogni sera il guardiano sale la scala stretta e accende la lampada prima che le "
            "navi doppino il capo.",
            "D'inverno le tempeste sono così forti che scrive le sue lettere a lume di candela "
            "e le affida alla barca dei rifornimenti."]),
}

SCRIPT = ("<script>var hidden = 'scriptword should never be read';</script>"
          "<style>body { font-family: stylewordserif; }</style>")


def en_archive():
    title, paras = TEXTS["en"]
    main = resource(page(title, paras, "utf-8", extra=SCRIPT), "text/html",
                    "https://example.org/lighthouse.html", "UTF-8", "")
    subs = [
        resource(PNG, "image/png", "https://example.org/lamp.png"),
        resource(b"p { color: navy; } /* cssword */", "text/css", "https://example.org/site.css"),
        resource(b"<html><body><p>adword buy now</p></body></html>", "text/html",
                 "https://ads.example.org/banner.html", "UTF-8"),
    ]
    return archive(main, subs)


def frame_archive(lang, charset, encoding, name, frames=()):
    title, paras = TEXTS[lang]
    main = resource(page(title, paras, charset), "text/html",
                    "https://example.org/%s.html" % lang, encoding, name)
    return archive(main, frames=frames)


# ---- a small writer of the binary form, for lists plistlib does not write ----

def bplist(objects, top=0, ref_size=1, offset_size=2):
    """`objects`: encoded objects (bytes), the references in them already of
    `ref_size` bytes. Returns the list with its offset table and trailer."""
    out = bytearray(b"bplist00")
    offsets = []
    for obj in objects:
        offsets.append(len(out))
        out += obj
    table = len(out)
    for at in offsets:
        out += at.to_bytes(offset_size, "big")
    out += bytes(6) + bytes([offset_size, ref_size])
    out += struct.pack(">QQQ", len(objects), top, table)
    return bytes(out)


def marker(kind, count):
    if count < 15:
        return bytes([kind << 4 | count])
    return bytes([kind << 4 | 0xF, 0x10, count]) if count < 256 else \
        bytes([kind << 4 | 0xF, 0x11]) + count.to_bytes(2, "big")


def ascii_obj(s):
    return marker(5, len(s)) + s.encode("ascii")


def data_obj(b):
    return marker(4, len(b)) + b


def dict_obj(pairs):
    return marker(0xD, len(pairs)) + bytes(k for k, _ in pairs) + bytes(v for _, v in pairs)


def array_obj(refs):
    return marker(0xA, len(refs)) + bytes(refs)


def cyclic_archive():
    title, paras = TEXTS["en"]
    objects = [
        dict_obj([(1, 3), (2, 4)]),                      # 0 the root archive
        ascii_obj("WebMainResource"),                    # 1
        ascii_obj("WebSubframeArchives"),                # 2
        dict_obj([(5, 7), (6, 8)]),                      # 3 the main resource
        array_obj([0]),                                  # 4 frames: the root again
        ascii_obj("WebResourceData"),                    # 5
        ascii_obj("WebResourceMIMEType"),                # 6
        data_obj(page(title, paras, "utf-8")),           # 7
        ascii_obj("text/html"),                          # 8
    ]
    return bplist(objects)


def reference_archive():
    title, paras = TEXTS["en"]
    objects = [
        dict_obj([(1, 2)]),                              # 0
        ascii_obj("WebMainResource"),                    # 1
        dict_obj([(3, 5), (4, 200)]),                    # 2: a value past the objects
        ascii_obj("WebResourceData"),                    # 3
        ascii_obj("WebResourceMIMEType"),                # 4
        data_obj(page(title, paras, "utf-8")),           # 5
    ]
    return bplist(objects)


def offset_damaged(data):
    """`data` with its first object's offset pointing into the offset table."""
    offset_size = data[-26]
    table = struct.unpack(">Q", data[-8:])[0]
    out = bytearray(data)
    out[table:table + offset_size] = (table + 1).to_bytes(offset_size, "big")
    return bytes(out)


def shared_archive():
    title, paras = TEXTS["de"]
    level = frame_archive("es", "utf-8", "UTF-8", "leaf")
    for _ in range(25):
        # plistlib writes a container it meets again as one object.
        level = archive(resource(b"<p>-</p>", "text/html", "https://example.org/x.html"),
                        frames=[level, level])
    main = resource(page(title, paras, "utf-8"), "text/html", "https://example.org/de.html",
                    "UTF-8")
    return archive(main, frames=[level])


def deep_archive():
    level = None
    for depth in range(20, 0, -1):
        html = "<p>Level %d of the frames.</p>" % depth
        main = resource(html.encode("ascii"), "text/html",
                        "https://example.org/%d.html" % depth, "UTF-8")
        level = archive(main, frames=[level] if level else [])
    return level


def binary(obj):
    return plistlib.dumps(obj, fmt=plistlib.FMT_BINARY, sort_keys=True)


def xml(obj):
    return plistlib.dumps(obj, fmt=plistlib.FMT_XML, sort_keys=True)


def main():
    en = binary(en_archive())
    en_xml = xml(en_archive())
    ru_title, ru_paras = TEXTS["ru"]
    ru = archive(resource(page(ru_title, ru_paras, "windows-1251", meta="utf-8"), "text/html",
                          "https://example.org/ru.html", "windows-1251"))
    ru_meta = archive(resource(page(ru_title, ru_paras, "windows-1251", meta="windows-1251"),
                               "text/html", "https://example.org/ru.html"))
    ja_title, ja_paras = TEXTS["ja"]
    ja = archive(resource(page(ja_title, ja_paras, "shift_jis"), "text/html",
                          "https://example.org/ja.html", "shift_jis"))
    frames = frame_archive("de", "utf-8", "UTF-8", "", frames=[
        frame_archive("fr", "iso-8859-1", "ISO-8859-1", "news",
                      frames=[frame_archive("es", "utf-8", "UTF-8", "inner")]),
        frame_archive("it", "utf-8", "UTF-8", "side"),
    ])
    it_title, it_paras = TEXTS["it"]
    plain = archive(resource(("%s\n\n%s\n" % (it_title, "\n".join(it_paras))).encode("utf-8"),
                             "text/plain", "https://example.org/faro.txt", "UTF-8"))
    image = archive(resource(PNG, "image/png", "https://example.org/lamp.png"))
    settings = {"Volume": 7, "Name": "lighthouse", "Enabled": True}

    # (name, bytes, format code, a word of the text or "-")
    samples = [
        ("en.webarchive", en, 369, "lighthouse"),
        ("en.xml.webarchive", en_xml, 369, "lighthouse"),
        ("ru.webarchive", binary(ru), 369, "смотритель"),
        ("ru-meta.xml.webarchive", xml(ru_meta), 369, "смотритель"),
        ("ja.webarchive", binary(ja), 369, "灯台守"),
        ("frames.webarchive", binary(frames), 369, "Leuchtturmwärter"),
        ("plain.webarchive", binary(plain), 369, "guardiano"),
        ("image.webarchive", binary(image), 369, "-"),
        ("en.webarchive.gz", gzip.compress(en, 9, mtime=0), 347, "lighthouse"),
        ("bad/cut.webarchive", en[:len(en) // 2], 369, "-"),
        ("bad/cut.xml.webarchive", en_xml[:len(en_xml) // 2], 369, "-"),
        ("bad/offset.webarchive", offset_damaged(en), 369, "-"),
        ("bad/reference.webarchive", reference_archive(), 369, "-"),
        ("bad/cyclic.webarchive", cyclic_archive(), 369, "-"),
        ("bad/shared.webarchive", binary(shared_archive()), 369, "Leuchtturmwärter"),
        ("bad/deep.webarchive", binary(deep_archive()), 369, "Level"),
        ("other/settings.plist", binary(settings), 346, "-"),
        ("other/settings.xml.plist", xml(settings), 285, "-"),
    ]
    for name, data, _, _ in samples:
        path = os.path.join(OUT, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for name, _, code, word in samples:
        print("webarchive/%s\t%d\t%s" % (name, code, word))


if __name__ == "__main__":
    main()
