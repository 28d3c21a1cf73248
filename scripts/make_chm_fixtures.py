#!/usr/bin/env python3
"""Makes the compiled HTML Help samples of tests/data/dxfilter/chm/ and prints
their rows of formats.tsv (make_filter_fixtures.sh appends them to the table):

  en.chm        English (locale 0x409): three topics and a table of contents
  de.chm        German in windows-1252 without a declaration (locale 0x407)
  ru-meta.chm   Russian in windows-1251 declared by each page's meta element,
                under an English locale (0x409): the declaration decides
  ru-lcid.chm   Russian in windows-1251 without a declaration: the locale
                (0x419, Russian) decides
  ja.chm        Japanese in Shift_JIS without a declaration (locale 0x411)
  zh.chm        Chinese in GBK declared by meta (locale 0x804)
  order.chm     five topics whose table of contents (c, a, e) differs from
                their directory order (a, b, c, d, e), a sub-directory, a
                contents entry whose file is missing, an anchor, and a style
                sheet and a text file that are no topics
  notext.chm    an empty topic and a text file: no topic text
  later.chm     an English topic, a 78 KiB one (its end and the topics after
                it in the third LZX frame), two more English topics ...
  truncated.chm ... later.chm cut inside its third compressed frame: the
                text of the first topic, then the end
  huge.chm      en.chm whose third topic's directory entry claims 1 TiB
  damaged.chm   en.chm whose compressed content starts with 96 bytes of
                0xFF (a block type LZX does not have): its first topic
                cannot be read
  en.chm.gz     en.chm in a gzip stream without name or time

Needs chmcmd (fp-utils-3.2.2) and gzip (scripts/deps.sh fixtures). chmcmd
writes the time of the run into the ITSF header (bytes 16-19) and into the
`#SYSTEM` file's record 10 (stored uncompressed); this script sets both to
2024-01-01 00:00:00 UTC (SOURCE_DATE_EPOCH, else that time), so two runs
write the same bytes. The sentences are the project's own.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "chm")
EPOCH = int(os.environ.get("SOURCE_DATE_EPOCH", "1704067200"))

META = '<meta http-equiv="Content-Type" content="text/html; charset=%s">'


def page(title, paragraphs, charset=None, meta=None):
    head = "<title>%s</title>" % title
    if meta:
        head = (META % meta) + head
    body = "".join("<p>%s</p>\n" % p for p in paragraphs)
    html = "<html><head>%s</head>\n<body>\n<h1>%s</h1>\n%s</body></html>\n" % (head, title, body)
    return html.encode(charset or "ascii")


TEXTS = {
    "en": [("The harbour", ["Every morning the ferry leaves the harbour before the fishermen "
                            "return with their nets.",
                            "Gulls follow the boats and wait for scraps thrown over the side."]),
           ("The market", ["On Saturdays the square fills with stalls of bread, cheese and "
                           "early apples.",
                           "Children count the coins their grandparents gave them for sweets."]),
           ("The library", ["The small library opens late on Thursdays so that workers can "
                            "borrow books.",
                            "Its reading room looks out over the river and the old bridge."])],
    "de": [("Der Bäcker", ["Der Bäcker öffnet seinen Laden schon um fünf Uhr und backt frische "
                           "Brötchen für das ganze Dorf.",
                           "Im Winter verkauft er außerdem Lebkuchen, die nach Zimt und "
                           "Honig duften."]),
           ("Die Brücke", ["Über die alte Brücke gehen jeden Morgen Schüler zur Schule, die "
                           "auf der anderen Seite des Flusses liegt.",
                           "Im Frühling blühen an ihren Geländern gelbe Blumen."])],
    "ru": [("Зимний вечер", ["Зимним вечером вся семья собирается у печки и слушает, как "
                             "за окном воет метель.",
                             "Бабушка вяжет тёплые носки, а дедушка читает вслух старую "
                             "книгу."]),
           ("Летний сад", ["Летом в саду созревают яблоки и вишни, и дети помогают собирать "
                           "урожай.",
                           "Вечером все пьют чай на веранде и смотрят на закат."])],
    "ja": [("港の朝", ["毎朝、小さな港から船が出て、漁師たちは日が昇る前に網を準備します。",
                     "市場では新しい魚が並び、町の人々が買い物に集まります。"]),
           ("山の道", ["山の道は春になると花でいっぱいになり、多くの人が散歩に来ます。",
                     "頂上からは遠くの海と町がよく見えます。"])],
    "zh": [("老茶馆", ["城里的老茶馆每天早上都很热闹，老人们在这里喝茶聊天。",
                     "服务员提着大铜壶，给每一位客人倒上热茶。"]),
           ("河边的小路", ["傍晚的时候，很多人沿着河边的小路散步。",
                         "孩子们在草地上放风筝，笑声传得很远。"])],
}
WORDS = {"en": "ferry", "de": "Bäcker", "ru": "метель", "ja": "漁師", "zh": "茶馆"}

ORDER = {
    "a.htm": ("Alpha", ["The alpha topic is the first file of the directory."]),
    "b.htm": ("Bravo", ["The bravo topic is in no table of contents entry."]),
    "c.htm": ("Charlie", ["The charlie topic comes first in the table of contents."]),
    "sub/d.html": ("Delta", ["The delta topic lives in a folder of its own."]),
    "sub/e.HTM": ("Echo", ["The echo topic ends the table of contents."]),
}


def sitemap(entries):
    items = "".join(
        '<li><object type="text/sitemap"><param name="Name" value="%s">'
        '<param name="Local" value="%s"></object>\n' % (name, local) for name, local in entries)
    return ('<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN">\n<html><body>\n<ul>\n%s</ul>\n'
            '</body></html>\n' % items).encode("ascii")


def build(tmp, name, files, toc, language, default):
    """Compiles `files` (path -> bytes) with chmcmd into OUT/name."""
    work = os.path.join(tmp, name)
    os.makedirs(work)
    for path, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(work, path)), exist_ok=True)
        with open(os.path.join(work, path), "wb") as f:
            f.write(data)
    options = ["Compiled file=out.chm", "Default topic=%s" % default,
               "Language=%s" % language, "Title=%s" % name]
    if toc is not None:
        with open(os.path.join(work, "toc.hhc"), "wb") as f:
            f.write(sitemap(toc))
        options.append("Contents file=toc.hhc")
    with open(os.path.join(work, "p.hhp"), "w") as f:
        f.write("[OPTIONS]\n%s\n\n[FILES]\n%s\n" % ("\n".join(options), "\n".join(files)))
    result = subprocess.run(["chmcmd", "p.hhp"], cwd=work, capture_output=True, text=True)
    if result.returncode != 0 or not os.path.exists(os.path.join(work, "out.chm")):
        sys.exit("make_chm_fixtures: chmcmd failed for %s:\n%s" % (name, result.stdout))
    with open(os.path.join(work, "out.chm"), "rb") as f:
        data = bytearray(f.read())
    fix_times(data)
    write(name, bytes(data))
    return bytes(data)


def encint(data, at):
    value = 0
    while True:
        c = data[at]
        at += 1
        value = value << 7 | (c & 0x7F)
        if not c & 0x80:
            return value, at


def to_encint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def directory(data):
    """The listing chunks of a file: (offset of chunk, chunk length, entries),
    each entry (name, space, start, length)."""
    dir_offset, dir_length = struct.unpack_from("<QQ", data, 0x48)
    header, chunk = struct.unpack_from("<II", data, dir_offset + 8)[0], \
        struct.unpack_from("<I", data, dir_offset + 0x10)[0]
    head = struct.unpack_from("<i", data, dir_offset + 0x20)[0]
    base = dir_offset + header
    chunks = []
    n = head
    while n != -1:
        at = base + n * chunk
        assert data[at:at + 4] == b"PMGL"
        free = struct.unpack_from("<I", data, at + 4)[0]
        end = at + chunk - free
        p = at + 0x14
        entries = []
        while p < end:
            length, p = encint(data, p)
            name = bytes(data[p:p + length]).decode("utf-8")
            p += length
            space, p = encint(data, p)
            start, p = encint(data, p)
            size, p = encint(data, p)
            entries.append((name, space, start, size))
        chunks.append((at, chunk, entries))
        n = struct.unpack_from("<i", data, at + 0x10)[0]
    version = struct.unpack_from("<I", data, 4)[0]
    data_offset = dir_offset + dir_length
    if version == 3:
        data_offset = max(data_offset, struct.unpack_from("<Q", data, 0x58)[0])
    return chunks, data_offset


def entry(data, wanted):
    chunks, data_offset = directory(data)
    for _, _, entries in chunks:
        for name, space, start, size in entries:
            if name == wanted:
                return space, data_offset + start, size
    sys.exit("make_chm_fixtures: no %s" % wanted)


def fix_times(data):
    """Sets the times chmcmd writes: the ITSF header's (big-endian) and the
    `#SYSTEM` file's record 10."""
    struct.pack_into(">I", data, 0x10, EPOCH & 0xFFFFFFFF)
    space, at, size = entry(data, "/#SYSTEM")
    assert space == 0
    p, end = at + 4, at + size
    while p + 4 <= end:
        code, length = struct.unpack_from("<HH", data, p)
        if code == 10 and length >= 4:
            struct.pack_into("<I", data, p + 4, EPOCH & 0xFFFFFFFF)
        p += 4 + length


def set_length(data, wanted, new_size):
    """Rewrites the listing chunk holding `wanted` with its length changed."""
    data = bytearray(data)
    chunks, _ = directory(data)
    for at, chunk, entries in chunks:
        if not any(e[0] == wanted for e in entries):
            continue
        body = b""
        for name, space, start, size in entries:
            raw = name.encode("utf-8")
            body += to_encint(len(raw)) + raw + to_encint(space) + to_encint(start) + \
                to_encint(new_size if name == wanted else size)
        # The chunk's quick-reference area at its end is left as it is.
        old_free = struct.unpack_from("<I", data, at + 4)[0]
        old_end = chunk - old_free
        grow = len(body) - (old_end - 0x14)
        assert grow <= old_free
        data[at + 0x14:at + 0x14 + len(body)] = body
        struct.pack_into("<I", data, at + 4, old_free - grow)
        return bytes(data)
    sys.exit("make_chm_fixtures: no %s" % wanted)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def language_files(lang, charset, meta):
    files = {}
    toc = []
    for n, (title, paragraphs) in enumerate(TEXTS[lang]):
        path = "t%d.htm" % (n + 1)
        files[path] = page(title, paragraphs, charset, meta)
        toc.append((title.encode("ascii", "replace").decode(), path))
    return files, toc


def main():
    if shutil.which("chmcmd") is None:
        sys.exit("make_chm_fixtures: chmcmd not found (scripts/deps.sh fixtures)")
    os.makedirs(OUT, exist_ok=True)
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        samples = [("en", "en.chm", "0x409 English (United States)", "ascii", None),
                   ("de", "de.chm", "0x407 German (Germany)", "cp1252", None),
                   ("ru", "ru-meta.chm", "0x409 English (United States)", "cp1251",
                    "windows-1251"),
                   ("ru", "ru-lcid.chm", "0x419 Russian", "cp1251", None),
                   ("ja", "ja.chm", "0x411 Japanese", "shift_jis", None),
                   ("zh", "zh.chm", "0x804 Chinese (PRC)", "gbk", "gb2312")]
        for lang, name, language, charset, meta in samples:
            files, toc = language_files(lang, charset, meta)
            build(tmp, name, files, toc, language, "t1.htm")
            rows.append(("chm/" + name, 353, WORDS[lang]))
        en = open(os.path.join(OUT, "en.chm"), "rb").read()

        files = {path: page(title, paragraphs) for path, (title, paragraphs) in ORDER.items()}
        files["style.css"] = b"body { font-family: serif; }\n"
        files["notes.txt"] = b"A text file is no topic and is never read.\n"
        toc = [("Charlie", "c.htm"), ("Alpha", "a.htm#second"), ("Missing", "missing.htm"),
               ("Echo", "sub/e.HTM"), ("Charlie again", "./c.htm")]
        build(tmp, "order.chm", files, toc, "0x409 English (United States)", "c.htm")
        rows.append(("chm/order.chm", 353, "charlie"))

        files = {"empty.htm": b"<html><head><title></title></head><body></body></html>\n",
                 "readme.txt": b"Plain text files of a help file are not its topics.\n"}
        build(tmp, "notext.chm", files, [("Empty", "empty.htm")],
              "0x409 English (United States)", "empty.htm")
        rows.append(("chm/notext.chm", 353, "-"))

        # A second topic of 78 KiB of varied English, so that the topics
        # after the first lie in later LZX frames.
        words = ("river stone bridge garden window lantern harbour meadow orchard "
                 "village market winter summer evening morning").split()
        sentences = []
        for n in range(1200):
            sentences.append("The %s near the %s is %d steps from the %s." % (
                words[n % 15], words[(n * 7) % 15], n, words[(n * 11 + 3) % 15]))
        en_topics = [page(title, paragraphs) for title, paragraphs in TEXTS["en"]]
        files = {"t1.htm": en_topics[0], "t2.htm": page("The long walk", sentences),
                 "t3.htm": en_topics[1], "t4.htm": en_topics[2]}
        toc = [("T%d" % n, "t%d.htm" % n) for n in range(1, 5)]
        later = build(tmp, "later.chm", files, toc, "0x409 English (United States)", "t1.htm")
        rows.append(("chm/later.chm", 353, "ferry"))

    # Cut in the third compressed frame (offsets: where each frame starts,
    # then the end).
    space, content, size = entry(later, "::DataSpace/Storage/MSCompressed/Content")
    assert space == 0 and content + size == len(later)
    _, table, table_size = entry(
        later, "::DataSpace/Storage/MSCompressed/Transform/"
        "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable")
    frames, = struct.unpack_from("<I", later, table + 4)
    offsets = struct.unpack_from("<%dQ" % frames, later, table + 0x28)
    if frames < 4 or content + offsets[2] + 16 >= len(later):
        sys.exit("make_chm_fixtures: later.chm has %d LZX frames" % frames)
    write("truncated.chm", later[:content + offsets[2] + 16])
    rows.append(("chm/truncated.chm", 353, "ferry"))

    write("huge.chm", set_length(en, "/t3.htm", 1 << 40))
    rows.append(("chm/huge.chm", 353, "ferry"))

    space, content, size = entry(en, "::DataSpace/Storage/MSCompressed/Content")
    damaged = bytearray(en)
    # All bits set: the first LZX block's type is 7, which no block has.
    for i in range(content, content + min(size, 96)):
        damaged[i] = 0xFF
    write("damaged.chm", bytes(damaged))
    rows.append(("chm/damaged.chm", 353, "-"))

    with open(os.path.join(OUT, "en.chm.gz"), "wb") as f:
        subprocess.run(["gzip", "-n", "-9", "-c", os.path.join(OUT, "en.chm")], check=True,
                       stdout=f)
    rows.append(("chm/en.chm.gz", 347, WORDS["en"]))

    for row in rows:
        print("%s\t%d\t%s" % row)


if __name__ == "__main__":
    main()
