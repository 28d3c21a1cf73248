#!/usr/bin/env python3
"""Makes the DjVu samples of tests/data/dxfilter/djvu/ and prints their rows
of formats.tsv (make_filter_fixtures.sh appends them to the table):

  {en,de,fr,ru}.djvu  one page: a bitonal image drawn here (PBM, encoded by
                      cjb2) with a hidden text layer of a title and two
                      paragraphs (djvused set-txt), word by word in lines
  notext.djvu         one page without a text layer
  long.djvu           one page whose text layer holds 250 lines of English
                      of 3,000 characters each (750 K characters in all, more
                      than the text cap), a line a zone
  book.djvu           three pages bundled by djvm: Spanish, a page without
                      text, German
  indirect.djvu       the index file of book.djvu as an indirect document
                      (djvmcvt -i): its pages are files of their own, left out
  truncated.djvu      book.djvu cut inside its second page
  damaged.djvu        en.djvu whose compressed text chunk is overwritten
  de.djvu.gz          de.djvu in a gzip stream without name or time

Needs djvulibre-bin (cjb2, djvused, djvm, djvmcvt, djvutxt) and gzip
(scripts/deps.sh fixtures). The tools write no time or name of their own,
so two runs write the same bytes; djvutxt must read each sample's word
back. The sentences are the project's own.
"""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "djvu")

TEXTS = {
    "en": ("The lighthouse keeper",
           "Every evening the old keeper climbs the narrow stairs and lights the lamp above "
           "the rocks.",
           "From the window he counts the fishing boats that hurry home before the storm."),
    "de": ("Die Gärtnerin im Frühling",
           "Im Frühling pflanzt die Gärtnerin neue Rosen entlang der alten Mauer hinter "
           "dem Haus.",
           "Ihre Nachbarn bleiben oft stehen und fragen, wie sie die Blumen so gesund hält."),
    "fr": ("La couturière du village",
           "Chaque semaine, la couturière coud une robe bleue pour une fête dans le village "
           "voisin.",
           "Elle garde les rubans dans une boîte en bois que son grand-père avait fabriquée."),
    "ru": ("Старый рыбак",
           "Каждое утро старый рыбак чинит свои сети на берегу и ждёт попутного ветра.",
           "Его внуки приносят ему горячий чай и слушают истории о далёких морях."),
    "es": ("El relojero del pueblo",
           "El relojero del pueblo arregla los relojes antiguos con mucha paciencia y "
           "buena luz.",
           "Los vecinos le traen relojes de bolsillo que sus abuelos compraron hace muchos "
           "años."),
}
WORDS = {"en": "lighthouse", "de": "Gärtnerin", "fr": "couturière", "ru": "рыбак",
         "es": "relojero"}

WIDTH, HEIGHT = 1200, 900


def pbm(path, seed):
    """A page of bitonal 'lines of text': bars of varying length."""
    row_bytes = (WIDTH + 7) // 8
    rows = []
    for y in range(HEIGHT):
        bits = bytearray(row_bytes)
        line, inside = divmod(y - 100, 60)
        if 0 <= line < 10 and inside < 20:
            end = 1000 - ((line * 37 + seed * 53) % 300)
            for x in range(100, end):
                if (x // 40 + line) % 5:  # gaps between words
                    bits[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(bits))
    with open(path, "wb") as f:
        f.write(b"P4\n%d %d\n" % (WIDTH, HEIGHT) + b"".join(rows))


def quote(word):
    return '"' + word.replace("\\", "\\\\").replace('"', '\\"') + '"'


def text_layer(lang):
    """The hidden text of a page: a paragraph per sentence, lines of up to
    eight words, a box per word."""
    if lang == "long":
        line = quote(" ".join([TEXTS["en"][2]] * 40))
        lines = " ".join("(line 100 %d 1100 %d (word 100 %d 1100 %d %s))" % (y, y + 1, y, y + 1, line)
                         for y in range(250))
        return "(page 0 0 %d %d (para 100 0 1100 250 %s))\n" % (WIDTH, HEIGHT, lines)
    title, *sentences = TEXTS[lang]
    paras, y = [], HEIGHT - 100
    for sentence in [title] + sentences:
        words = sentence.split()
        lines = []
        for at in range(0, len(words), 8):
            x, boxes = 100, []
            for word in words[at:at + 8]:
                w = 20 * len(word)
                boxes.append("(word %d %d %d %d %s)" % (x, y - 20, x + w, y, quote(word)))
                x += w + 20
            lines.append("(line 100 %d %d %d %s)" % (y - 20, x, y, " ".join(boxes)))
            y -= 60
        paras.append("(para 100 %d 1100 %d %s)" % (y + 40, y + 60 + 60 * len(lines) - 40,
                                                   " ".join(lines)))
    return "(page 0 0 %d %d %s)\n" % (WIDTH, HEIGHT, " ".join(paras))


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def page(tmp, path, lang, seed):
    image = os.path.join(tmp, "page.pbm")
    pbm(image, seed)
    run("cjb2", "-dpi", "300", image, path)
    if lang:
        layer = os.path.join(tmp, "page.txt")
        with open(layer, "w", encoding="utf-8") as f:
            f.write(text_layer(lang))
        run("djvused", path, "-e", "select 1; set-txt %s" % layer, "-s")


def check(path, word):
    text = subprocess.run(["djvutxt", path], check=True, capture_output=True).stdout
    if word.encode() not in text:
        sys.exit("make_djvu_fixtures: djvutxt does not read %s in %s" % (word, path))


def main():
    os.makedirs(OUT, exist_ok=True)
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for seed, lang in enumerate(("en", "de", "fr", "ru")):
            path = os.path.join(OUT, lang + ".djvu")
            page(tmp, path, lang, seed)
            check(path, WORDS[lang])
            rows.append(("djvu/%s.djvu" % lang, 352, WORDS[lang]))
        page(tmp, os.path.join(OUT, "notext.djvu"), None, 7)
        rows.append(("djvu/notext.djvu", 352, "-"))
        page(tmp, os.path.join(OUT, "long.djvu"), "long", 8)
        rows.append(("djvu/long.djvu", 352, "storm."))

        pages = []
        for n, lang in enumerate(("es", None, "de")):
            pages.append(os.path.join(tmp, "p%d.djvu" % (n + 1)))
            page(tmp, pages[-1], lang, 4 + n)
        book = os.path.join(OUT, "book.djvu")
        run("djvm", "-c", book, *pages)
        check(book, "relojero")
        check(book, "Gärtnerin")
        rows.append(("djvu/book.djvu", 352, "relojero"))

        split = os.path.join(tmp, "split")
        os.makedirs(split)
        run("djvmcvt", "-i", book, split, "index.djvu")
        with open(os.path.join(split, "index.djvu"), "rb") as f:
            index = f.read()
        with open(os.path.join(OUT, "indirect.djvu"), "wb") as f:
            f.write(index)
        rows.append(("djvu/indirect.djvu", 352, "-"))

    with open(book, "rb") as f:
        data = f.read()
    second = data.index(b"FORM", data.index(b"FORM", 16) + 4)
    with open(os.path.join(OUT, "truncated.djvu"), "wb") as f:
        f.write(data[:second + 40])
    rows.append(("djvu/truncated.djvu", 352, "-"))

    with open(os.path.join(OUT, "en.djvu"), "rb") as f:
        data = bytearray(f.read())
    chunk = data.index(b"TXTz") + 8
    for i in range(chunk, min(chunk + 48, len(data))):
        data[i] = (data[i] * 7 + 13) & 0xFF
    with open(os.path.join(OUT, "damaged.djvu"), "wb") as f:
        f.write(bytes(data))
    rows.append(("djvu/damaged.djvu", 352, "-"))

    with open(os.path.join(OUT, "de.djvu.gz"), "wb") as f:
        subprocess.run(["gzip", "-n", "-9", "-c", os.path.join(OUT, "de.djvu")], check=True,
                       stdout=f)
    rows.append(("djvu/de.djvu.gz", 347, WORDS["de"]))

    for row in rows:
        print("%s\t%d\t%s" % row)


if __name__ == "__main__":
    main()
