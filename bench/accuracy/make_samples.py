#!/usr/bin/env python3
"""Cut the accuracy benchmark's samples: for every fold (folds.py), from the left-out source.

For every text directory of a fold (a language with the fold's source and another one) and
every length, a fixed number of samples is cut from the documents of the left-out source,
each from one document when a document is long enough (else from the source's text joined
in document order), starting at a paragraph or sentence and ending on a character boundary.
A language's samples per length are spread over its folds alike. Variants:

  utf8     the sample as UTF-8 plain text
  legacy   the sample in each legacy charset of the language's profiles (lines that the
           charset cannot represent are dropped, as in training)
  html     the UTF-8 sample inside a small HTML page without charset or language declaration
  docx     the UTF-8 sample as the one paragraph of a minimal Word document
  htmlcs   the legacy sample inside an HTML page whose meta element declares its charset

Writes bench/work/accuracy/samples/<variant>/<source>/<textdir>-<charset>/<length>-<i>.<ext>
and the manifest bench/work/accuracy/manifest.tsv (of the sources named as arguments, or of
all): path, language, variant, charset, length, text directory, source. Deterministic: every
draw is seeded by what it draws for, and no two samples of one text directory, source, charset
and length share a byte of text or are equal.
"""
import hashlib
import html
import io
import math
import os
import random
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts", "data"))
sys.path.insert(0, HERE)
import folds  # noqa: E402
from langs import CODECS, LANGS  # noqa: E402
from prepare import to_charset  # noqa: E402

OUT = os.path.join(ROOT, "bench", "work", "accuracy")
# Samples per language and length, over all its folds, for the UTF-8 text and for each
# legacy charset.
PER_LANG = {64: 100, 256: 100, 1024: 40, 2048: 40}


# Text read from one source for its samples: documents in an order given by a hash of their
# names until this many bytes. Plenty for the samples of one fold, and it keeps large sources
# cheap.
SOURCE_TEXT = 400_000


def sample_docs(paths):
    """The documents of a source that samples are cut from."""
    out, size = [], 0
    for p in sorted(paths, key=lambda p: (hashlib.sha1(os.path.basename(p).encode()).digest(),
                                          p)):
        if size >= SOURCE_TEXT:
            break
        out.append(p)
        size += os.path.getsize(p)
    return sorted(out)


def source_docs(paths, cs):
    """The documents as lists of paragraphs, byte strings in charset cs."""
    docs = []
    for p in paths:
        with open(p, encoding="utf-8") as f:
            pars = [to_charset(ln.rstrip("\n"), cs) for ln in f]
        pars = [x.encode(CODECS[cs]) for x in pars if x]
        if pars:
            docs.append(pars)
    return docs


def cut(data, length, codec):
    """The first `length` bytes of data, shortened to end on a character boundary."""
    piece = data[:length]
    for drop in range(0, 4):
        try:
            piece[:len(piece) - drop].decode(codec)
            return piece[:len(piece) - drop]
        except UnicodeDecodeError:
            continue
    return None


def starts_of(data, codec):
    """Offsets where a sample may begin: every paragraph and every sentence."""
    marks = [b"\n", b". ", b"! ", b"? "]
    for ch in "。！？":
        try:
            marks.append(ch.encode(codec))
        except UnicodeEncodeError:
            pass
    found = {0}
    for m in marks:
        at = data.find(m)
        while at >= 0:
            found.add(at + len(m))
            at = data.find(m, at + 1)
    return sorted(found)


def samples_for(paths, seed, cs, counts):
    """Samples of every length from the documents `paths` in charset cs: [(length, i, bytes)].

    Documents are drawn alike (long ones do not crowd out short ones), a sample begins at a
    paragraph or sentence, and no two samples of one length share a byte of text or are equal:
    a short source gives fewer samples of a length, never a sample twice."""
    docs = source_docs(paths, cs)
    out = []
    if not docs:
        return out
    codec = CODECS[cs]
    texts = [b"\n".join(pars) for pars in docs]
    for length, count in counts.items():
        rng = random.Random("%s|%s|%d" % (seed, cs, length))
        pool = [t for t in texts if len(t) >= length]
        if not pool:
            # A source of short documents only (UDHR articles, messages): read them as one.
            pool = [b"\n".join(texts)]
        # Where samples may begin, worked out for a document when it is first drawn.
        free, taken = {}, {}
        open_docs = list(range(len(pool)))
        seen = set()
        i = 0
        while i < count and open_docs:
            d = rng.choice(open_docs)
            if d not in free:
                free[d] = [s for s in starts_of(pool[d], codec) if len(pool[d]) - s >= length]
                taken[d] = []
            if not free[d]:
                open_docs.remove(d)
                continue
            s = free[d].pop(rng.randrange(len(free[d])))
            piece = cut(pool[d][s:], length, codec)
            if (not piece or piece in seen or
                    any(s < b and a < s + len(piece) for a, b in taken[d])):
                continue
            seen.add(piece)
            taken[d].append((s, s + len(piece)))
            out.append((length, i, piece))
            i += 1
    return out


DOCX_PARTS = {
    "[Content_Types].xml":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Types xmlns="http://schemas.'
        'openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType='
        '"application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" '
        'ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType='
        '"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>'
        '</Types>',
    "_rels/.rels":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http://'
        'schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type='
        '"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" '
        'Target="word/document.xml"/></Relationships>',
}


def docx_bytes(text):
    body = "".join('<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' %
                   html.escape(par, quote=False) for par in text.split("\n"))
    doc = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document xmlns:w="http://'
           'schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>%s</w:body>'
           '</w:document>' % body)
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in list(DOCX_PARTS.items()) + [("word/document.xml", doc)]:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            z.writestr(info, data, zipfile.ZIP_DEFLATED)
    return buf.getvalue()


def write_if_changed(path, data):
    """Write data to path unless the file holds it already (reruns touch only what changed)."""
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# The charset labels web pages use, by the engine's charset name.
DECLARED = {"1250": "windows-1250", "1251": "windows-1251", "1252": "windows-1252",
            "1253": "windows-1253", "1254": "windows-1254", "1255": "windows-1255",
            "1256": "windows-1256", "1257": "windows-1257", "1258": "windows-1258",
            "874": "windows-874", "866": "ibm866", "855": "ibm855", "852": "ibm852",
            "850": "ibm850", "775": "ibm775", "857": "ibm857", "737": "ibm737",
            "869": "ibm869", "862": "ibm862",
            "koi8-r": "koi8-r", "koi8-u": "koi8-u", "iso-8859-2": "iso-8859-2",
            "iso-8859-4": "iso-8859-4", "iso-8859-5": "iso-8859-5", "iso-8859-6": "iso-8859-6",
            "iso-8859-7": "iso-8859-7", "iso-8859-8": "iso-8859-8", "iso-8859-9": "iso-8859-9",
            "iso-8859-13": "iso-8859-13", "sjis": "shift_jis", "euc-jp": "euc-jp",
            "gb": "gb2312", "big5": "big5", "euc-ksc": "euc-kr"}


def html_page(text, charset=None):
    meta = ('<meta http-equiv="Content-Type" content="text/html; charset=%s">\n' % charset
            if charset else "")
    return ("<!DOCTYPE html>\n<html>\n<head>\n%s<title></title>\n</head>\n<body>\n<p>%s</p>\n"
            "</body>\n</html>\n" % (meta, html.escape(text, quote=False)))


def emit(variant, source, textdir, cs, length, i, piece, lang):
    ext = {"html": "html", "htmlcs": "html", "docx": "docx"}.get(variant, "txt")
    path = os.path.join(OUT, "samples", variant, source,
                        "%s-%s" % (textdir, cs), "%d-%02d.%s" % (length, i, ext))
    if variant == "docx":
        data = docx_bytes(piece.decode("utf-8"))
    elif variant == "htmlcs":
        label = DECLARED.get(cs)
        if label is None:
            return None
        data = html_page(piece.decode(CODECS[cs]), label).encode(CODECS[cs])
    elif variant == "html":
        data = html_page(piece.decode("utf-8")).encode("utf-8")
    else:
        data = piece
    write_if_changed(path, data)
    return (path, lang, variant, cs, length, textdir, source)


def sample_charsets(textdir, lang, charsets):
    """(variant family, charset) pairs a text directory is sampled in: UTF-8 once, and every
    legacy charset of its profiles except a 1252 profile of text typed without diacritics."""
    entry = LANGS[lang]
    own = entry.get("latin", entry)["charsets"] if textdir.endswith("-latn") else \
        entry["charsets"]
    out = [("utf8", "utf8")]
    for cs in charsets:
        if cs == "utf8" or (cs == "1252" and "1252" not in own):
            continue
        out.append(("legacy", cs))
    return out


def main():
    only = set(sys.argv[1:])
    lay = folds.layout()
    every, _ = folds.folds(lay)
    fl = {s: t for s, t in every.items() if not only or s in only}
    table = folds.profile_table()
    rows = []
    for source in sorted(fl):
        for textdir in fl[source]:
            lang, charsets = table[textdir]
            nfolds = sum(1 for s in every if textdir in every[s])
            counts = {n: math.ceil(c / nfolds) for n, c in PER_LANG.items()}
            docs = sample_docs(lay[textdir][source])
            seed = "%s|%s" % (textdir, source)
            for kind, cs in sample_charsets(textdir, lang, charsets):
                variants = ("utf8", "html", "docx") if kind == "utf8" else ("legacy", "htmlcs")
                for length, i, piece in samples_for(docs, seed, cs, counts):
                    for v in variants:
                        r = emit(v, source, textdir, cs, length, i, piece, lang)
                        if r:
                            rows.append(r)
    rows.sort()
    if not only:
        # Samples of an earlier run that this one did not cut again.
        made = {r[0] for r in rows}
        for d, _, files in os.walk(os.path.join(OUT, "samples")):
            for fn in files:
                p = os.path.join(d, fn)
                if p not in made and "/samples/pdf/" not in p:
                    os.remove(p)
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "manifest.tsv"), "w") as f:
        for r in rows:
            f.write("\t".join(str(x) for x in r) + "\n")
    print("make_samples: %d samples" % len(rows), file=sys.stderr)


if __name__ == "__main__":
    main()
