#!/usr/bin/env python3
"""Cut the accuracy benchmark's samples from the held-out development text.

The development text is what scripts/data/extract.py set aside: whole source documents never
seen in training (for UDHR-only languages, whole articles). For every language and length
(64, 256, 1024, 2048 bytes) a fixed number of samples is cut, each from one document when a
document is long enough (else from the language's held-out text joined in document order),
starting at a paragraph and ending on a character boundary. Variants:

  utf8     the sample as UTF-8 plain text
  legacy   the sample in each legacy charset of the language's profiles (lines that the
           charset cannot represent are dropped, as in training)
  html     the UTF-8 sample inside a small HTML page without charset or language declaration
  docx     the UTF-8 sample as the one paragraph of a minimal Word document
  htmlcs   the legacy sample inside an HTML page whose meta element declares its charset

Writes bench/work/accuracy/samples/... and the manifest bench/work/accuracy/manifest.tsv:
path, language, variant, charset, length, text source. Deterministic (seeded per sample).
"""
import hashlib
import html
import os
import random
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts", "data"))
from langs import CODECS, LANGS  # noqa: E402
from prepare import profiles, to_charset  # noqa: E402

TEXT = os.path.join(ROOT, "scripts", "work", "text")
OUT = os.path.join(ROOT, "bench", "work", "accuracy")
LENGTHS = {64: 16, 256: 16, 1024: 10, 2048: 10}


def dev_docs(textdir, cs):
    """Held-out documents of a text directory, as byte strings in charset cs."""
    d = os.path.join(TEXT, textdir, "dev")
    docs = []
    for fn in sorted(os.listdir(d)):
        with open(os.path.join(d, fn), encoding="utf-8") as f:
            pars = [to_charset(ln.rstrip("\n"), cs) for ln in f]
        pars = [p.encode(CODECS[cs]) for p in pars if p]
        if pars:
            docs.append((fn, pars))
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


def samples_for(textdir, cs):
    """Samples of every length from the held-out documents of textdir in charset cs.

    Documents are drawn alike (long ones do not crowd out short ones), a sample begins at a
    paragraph or sentence, and no two samples of one length share a byte of text or are equal:
    a short held-out text gives fewer samples of a length, never a sample twice."""
    docs = dev_docs(textdir, cs)
    out = []
    if not docs:
        return out
    codec = CODECS[cs]
    for length, count in LENGTHS.items():
        rng = random.Random("%s|%s|%d" % (textdir, cs, length))
        texts = [b"\n".join(pars) for _, pars in docs]
        pool = [t for t in texts if len(t) >= length]
        if not pool:
            # Held-out text made of short documents only (UDHR articles): read them as one.
            pool = [b"\n".join(texts)]
        free = {i: [s for s in starts_of(t, codec) if len(t) - s >= length]
                for i, t in enumerate(pool)}
        taken = {i: [] for i in free}
        seen = set()
        i = 0
        while i < count:
            open_docs = [d for d in sorted(free) if free[d]]
            if not open_docs:
                break
            d = rng.choice(open_docs)
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


def write_docx(path, text):
    body = "".join('<w:p><w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' %
                   html.escape(par, quote=False) for par in text.split("\n"))
    doc = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<w:document xmlns:w="http://'
           'schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body>%s</w:body>'
           '</w:document>' % body)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in list(DOCX_PARTS.items()) + [("word/document.xml", doc)]:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            z.writestr(info, data, zipfile.ZIP_DEFLATED)


# The charset labels web pages use, by the engine's charset name.
DECLARED = {"1250": "windows-1250", "1251": "windows-1251", "1252": "windows-1252",
            "1253": "windows-1253", "1254": "windows-1254", "1255": "windows-1255",
            "1256": "windows-1256", "1257": "windows-1257", "874": "windows-874",
            "866": "ibm866", "koi8-r": "koi8-r", "iso-8859-2": "iso-8859-2",
            "iso-8859-5": "iso-8859-5", "iso-8859-7": "iso-8859-7", "iso-8859-8": "iso-8859-8",
            "sjis": "shift_jis", "euc-jp": "euc-jp", "gb": "gb2312", "big5": "big5",
            "euc-ksc": "euc-kr"}


def html_page(text, charset=None):
    meta = ('<meta http-equiv="Content-Type" content="text/html; charset=%s">\n' % charset
            if charset else "")
    return ("<!DOCTYPE html>\n<html>\n<head>\n%s<title></title>\n</head>\n<body>\n<p>%s</p>\n"
            "</body>\n</html>\n" % (meta, html.escape(text, quote=False)))


def emit(variant, textdir, cs, length, i, piece, lang):
    ext = {"html": "html", "htmlcs": "html", "docx": "docx"}.get(variant, "txt")
    path = os.path.join(OUT, "samples", "%s/%s-%s/%d-%02d.%s" % (variant, textdir, cs, length, i,
                                                                 ext))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if variant == "docx":
        write_docx(path, piece.decode("utf-8"))
    elif variant == "htmlcs":
        with open(path, "wb") as f:
            f.write(html_page(piece.decode(CODECS[cs]), DECLARED[cs]).encode(CODECS[cs]))
    else:
        data = piece
        if variant == "html":
            data = html_page(piece.decode("utf-8")).encode("utf-8")
        with open(path, "wb") as f:
            f.write(data)
    return (path, lang, variant, cs, length, textdir)


def main():
    rows = []
    done = set()
    for lang, textdir, cs in profiles():
        if not os.path.isdir(os.path.join(TEXT, textdir, "dev")):
            continue
        variants = []
        if cs == "utf8" or (cs == "1251" and "utf8" not in LANGS[lang]["charsets"]):
            # Every language once as UTF-8 text and as HTML (Cyrillic from its 1251 text).
            if (textdir, "utf8") not in done:
                done.add((textdir, "utf8"))
                variants += [("utf8", "utf8"), ("html", "utf8"), ("docx", "utf8")]
        if cs != "utf8" and not (cs == "1252" and LANGS[lang].get("fold")):
            variants += [("legacy", cs), ("htmlcs", cs)]
        for variant, vcs in variants:
            for length, i, piece in samples_for(textdir, vcs):
                rows.append(emit(variant, textdir, vcs, length, i, piece, lang))
    # Languages with no UTF-8 profile (Greek, Hebrew, Thai, CJK) still get UTF-8 and HTML.
    for lang, entry in sorted(LANGS.items()):
        if (lang, "utf8") in done or "utf8" in entry["charsets"] or "1251" in entry["charsets"]:
            continue
        for variant in ("utf8", "html", "docx"):
            for length, i, piece in samples_for(lang, "utf8"):
                rows.append(emit(variant, lang, "utf8", length, i, piece, lang))
    rows.sort()
    with open(os.path.join(OUT, "manifest.tsv"), "w") as f:
        for r in rows:
            f.write("\t".join(str(x) for x in r) + "\n")
    print("make_samples: %d samples" % len(rows), file=sys.stderr)


if __name__ == "__main__":
    main()
