#!/usr/bin/env python3
"""Summarise bench/work/accuracy/results.tsv into bench/ACCURACY.md.

usage: report.py [RESULTS] [glotta|model]
"""
import codecs
import os
import sys
from collections import defaultdict

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "data"))
from langs import CODECS  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))

PEER_CODES = {"iw": "he", "no": "nb", "zh-Hant": "zt", "zh-TW": "zt", "zh-CN": "zh",
              "sh": "sr", "tl": "tl", "fil": "tl", "in": "id", "ji": "yi", "jw": "jv",
              "un": "un", "xxx": "un", "SHORT": "un", "UNKNOWN": "un"}
GROUPS = {"da/nb/nn": {"da", "nb", "nn"}, "es/gl/pt/ca": {"es", "gl", "pt", "ca"},
          "hr/sr/bs": {"hr", "sr", "bs"}, "id/ms": {"id", "ms"}, "cs/sk": {"cs", "sk"}}
FAMILIES = {
    "western": {"1252", "iso-8859-1", "iso-8859-15", "ascii", "windows-1252"},
    "central": {"1250", "iso-8859-2", "windows-1250"},
    "baltic": {"1257", "iso-8859-13", "iso-8859-4", "windows-1257"},
    "turkish": {"1254", "iso-8859-9", "windows-1254"},
    "cyrillic": {"1251", "koi8-r", "koi8-u", "iso-8859-5", "866", "ibm866", "mac-cyrillic",
                 "windows-1251", "ibm855"},
    "arabic": {"1256", "iso-8859-6", "windows-1256"},
    "greek": {"1253", "iso-8859-7", "windows-1253"},
    "hebrew": {"1255", "iso-8859-8", "windows-1255"},
    "thai": {"874", "tis-620", "iso-8859-11", "windows-874"},
    "japanese": {"sjis", "shift_jis", "euc-jp", "iso-2022-jp"},
    "chinese-simplified": {"gb", "gb18030", "gb2312", "euc-gb", "hz-gb-2312"},
    "chinese-traditional": {"big5", "euc-tw"},
    "korean": {"euc-ksc", "euc-kr", "uhc", "ksc", "iso-2022-kr"},
    "unicode": {"utf8", "utf-8"},
}
UCHARDET = {"windows-1252": "1252", "windows-1250": "1250", "windows-1251": "1251",
            "windows-1253": "1253", "windows-1254": "1254", "windows-1255": "1255",
            "windows-1256": "1256", "windows-1257": "1257", "ibm866": "866",
            "shift_jis": "sjis", "gb18030": "gb", "euc-kr": "euc-ksc", "uhc": "euc-ksc",
            "utf-8": "utf8", "tis-620": "874", "windows-874": "874"}


def python_codec(name):
    name = name.lower()
    if name in CODECS:
        return CODECS[name]
    try:
        return codecs.lookup(name).name
    except LookupError:
        return None


def decodes_same(path, true_cs, got_cs):
    """True when the bytes read in the reported charset give the text of the true one."""
    got = python_codec(got_cs)
    if got is None:
        return False
    data = open(path, "rb").read()
    try:
        return data.decode(got) == data.decode(CODECS[true_cs])
    except (UnicodeDecodeError, LookupError):
        return False


def family(cs):
    cs = cs.lower()
    for fam, members in FAMILIES.items():
        if cs in members:
            return fam
    return "other:" + cs


def peer(code):
    return PEER_CODES.get(code, code.split("-")[0] if code not in PEER_CODES else code)


def pct(a, b):
    return "%.1f" % (100.0 * a / b) if b else "-"


def main(results=None, tool="glotta"):
    results = results or os.path.join(ROOT, "bench", "work", "accuracy", "results.tsv")
    rows = []
    with open(results) as f:
        for line in f:
            (path, lang, variant, cs, length, textdir, g_lang, g_cs, g_score, cld, cat,
             ud) = line.rstrip("\n").split("\t")
            rows.append(dict(path=path, lang=lang, variant=variant, cs=cs, length=int(length),
                             g=g_lang, gcs=g_cs, cld=peer(cld), cat=peer(cat),
                             ud=UCHARDET.get(ud.lower(), ud.lower())))
    tool_name = "glotta" if tool == "glotta" else "glotta (model)"
    out = ["# Accuracy of the shipped language data", ""]
    if tool != "glotta":
        out += ["**These figures come from bench/accuracy/ngram_model.py, a model of the "
                "tool's plain-text n-gram path, not from the tool itself.**", ""]
    langs = sorted({r["lang"] for r in rows})
    out += ["Samples: %d, cut from held-out development text of %d languages (whole source "
            "documents never used in training; for UDHR-only languages whole articles), "
            "64/256/1024/2048 bytes, as UTF-8 text, in the legacy charsets of the shipped "
            "profiles, and as UTF-8 HTML, Word and PDF documents. Produced by `bench/accuracy/run.py`; peers run on the "
            "same files in the same run: CLD2 (libcld2 0.0.197), libexttextcat 3.4.5 with its "
            "shipped fingerprints, and uchardet 0.0.7 + iconv before CLD2/libexttextcat for "
            "legacy bytes." % (len(rows), len(langs)), ""]

    def table_by(keyf, title, keys, variants):
        out.append("## " + title)
        out.append("")
        hdr = "| %s | n | %s | CLD2 | libexttextcat |" % (title.split(" by ")[-1], tool_name)
        out.append(hdr)
        out.append("|---|---|---|---|---|")
        for k in keys:
            sel = [r for r in rows if keyf(r) == k and r["variant"] in variants]
            if not sel:
                continue
            n = len(sel)
            out.append("| %s | %d | %s | %s | %s |" % (
                k, n, pct(sum(r["g"] == r["lang"] for r in sel), n),
                pct(sum(r["cld"] == r["lang"] for r in sel), n),
                pct(sum(r["cat"] == r["lang"] for r in sel), n)))
        out.append("")

    for variants, label in ((("utf8",), "UTF-8 text"), (("legacy",), "legacy-charset bytes"),
                            (("html",), "UTF-8 HTML"),
                            (("docx",), "Word documents (DOCX; peers given the plain text)"),
                            (("pdf",), "PDF files made by LibreOffice (peers given the plain "
                                       "text)"),
                            (("doc",), "Word 97-2003 documents made by LibreOffice (peers given "
                                       "the plain text)"),
                            (("htmlcs",), "legacy-charset HTML declaring its charset")):
        if any(r["variant"] in variants for r in rows):
            table_by(lambda r: r["length"], "Language accuracy (%%), %s, by length" % label,
                     [64, 256, 1024, 2048], variants)

    # Charsets.
    out.append("## Charset of legacy-charset samples, by charset")
    out.append("")
    out.append("Exact: the charset name itself; family: the same group of charsets (western, "
               "central European, Baltic, Cyrillic, ...); decodes: reading the bytes in the "
               "reported charset gives exactly the original text (for example Estonian text "
               "without š/ž is the same bytes in 1252 and 1257).")
    out.append("")
    out.append("| charset | n | %s language | %s exact | %s family | %s decodes | uchardet exact "
               "| uchardet family | uchardet decodes | uchardet+CLD2 language |" % (
                   tool_name, tool_name, tool_name, tool_name))
    out.append("|---|---|---|---|---|---|---|---|---|---|")
    leg = [r for r in rows if r["variant"] == "legacy"]
    for r in leg:
        r["gdec"] = decodes_same(r["path"], r["cs"], r["gcs"])
        r["udec"] = decodes_same(r["path"], r["cs"], r["ud"])

    def charset_row(label, sel):
        n = len(sel)
        out.append("| %s | %d | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, n, pct(sum(r["g"] == r["lang"] for r in sel), n),
            pct(sum(r["gcs"] == r["cs"] for r in sel), n),
            pct(sum(family(r["gcs"]) == family(r["cs"]) for r in sel), n),
            pct(sum(r["gdec"] for r in sel), n),
            pct(sum(r["ud"] == r["cs"] for r in sel), n),
            pct(sum(family(r["ud"]) == family(r["cs"]) for r in sel), n),
            pct(sum(r["udec"] for r in sel), n),
            pct(sum(r["cld"] == r["lang"] for r in sel), n)))

    for cs in sorted({r["cs"] for r in leg}):
        charset_row(cs, [r for r in leg if r["cs"] == cs])
    if leg:
        charset_row("**all**", leg)
        # Pure-ASCII bytes carry no sign of their charset: they read the same in every charset
        # here, and pure ASCII is always answered "1252".
        for r in leg:
            with open(r["path"], "rb") as f:
                r["ascii"] = max(f.read(), default=0) < 0x80
        charset_row("**all but pure-ASCII samples**", [r for r in leg if not r["ascii"]])
    hc = [r for r in rows if r["variant"] == "htmlcs"]
    for r in hc:
        r["gdec"] = decodes_same(r["path"], r["cs"], r["gcs"])
        r["udec"] = decodes_same(r["path"], r["cs"], r["ud"])
    if hc:
        charset_row("**all, HTML declaring its charset**", hc)
    out.append("")
    out.append("By length (legacy samples):")
    out.append("")
    out.append("| length | n | %s language | %s exact | %s family | %s decodes | uchardet exact "
               "| uchardet family | uchardet decodes | uchardet+CLD2 language |" % (
                   tool_name, tool_name, tool_name, tool_name))
    out.append("|---|---|---|---|---|---|---|---|---|---|")
    for length in (64, 256, 1024, 2048):
        charset_row(str(length), [r for r in leg if r["length"] == length])
    out.append("")

    # Confusable groups.
    out.append("## Confusable groups (all lengths, UTF-8 and legacy)")
    out.append("")
    out.append("| group | n | %s exact | %s merged | CLD2 exact | CLD2 merged | libexttextcat "
               "exact | libexttextcat merged |" % (tool_name, tool_name))
    out.append("|---|---|---|---|---|---|---|---|")
    for gname, members in GROUPS.items():
        sel = [r for r in rows if r["lang"] in members and r["variant"] in ("utf8", "legacy")]
        n = len(sel)
        if not n:
            continue
        vals = []
        for key in ("g", "cld", "cat"):
            vals.append(pct(sum(r[key] == r["lang"] for r in sel), n))
            vals.append(pct(sum(r[key] in members for r in sel), n))
        out.append("| %s | %d | %s |" % (gname, n, " | ".join(vals)))
    out.append("")

    # Per language.
    out.append("## Language accuracy (%) by language (all lengths)")
    out.append("")
    out.append("| language | UTF-8 n | %s | CLD2 | libexttextcat | legacy n | %s | "
               "uchardet+CLD2 | HTML %s | most frequent wrong answer of %s |" % (
                   tool_name, tool_name, tool_name, tool_name))
    out.append("|---|---|---|---|---|---|---|---|---|---|")
    for lang in langs:
        u = [r for r in rows if r["lang"] == lang and r["variant"] == "utf8"]
        lg = [r for r in rows if r["lang"] == lang and r["variant"] == "legacy"]
        h = [r for r in rows if r["lang"] == lang and r["variant"] == "html"]
        wrong = defaultdict(int)
        for r in u + lg:
            if r["g"] != lang:
                wrong[r["g"]] += 1
        w = max(sorted(wrong), key=lambda k: wrong[k]) if wrong else ""
        out.append("| %s | %d | %s | %s | %s | %d | %s | %s | %s | %s |" % (
            lang, len(u), pct(sum(r["g"] == lang for r in u), len(u)),
            pct(sum(r["cld"] == lang for r in u), len(u)),
            pct(sum(r["cat"] == lang for r in u), len(u)), len(lg),
            pct(sum(r["g"] == lang for r in lg), len(lg)),
            pct(sum(r["cld"] == lang for r in lg), len(lg)),
            pct(sum(r["g"] == lang for r in h), len(h)),
            ("%s (%d)" % (w, wrong[w])) if w else ""))
    out.append("")
    text = "\n".join(out) + "\n"
    dest = os.path.join(ROOT, "bench", "work", "accuracy", "ACCURACY.md")
    with open(dest, "w") as f:
        f.write(text)
    print("report: wrote %s" % dest, file=sys.stderr)
    # The published summary: the hand-written analysis, then these tables.
    preface = os.path.join(HERE, "preface.md")
    if os.path.exists(preface):
        with open(preface) as f:
            head = f.read()
        tables = text.split("\n## ", 1)[1]
        with open(os.path.join(ROOT, "bench", "work", "accuracy", "ACCURACY-full.md"), "w") as f:
            f.write(head.rstrip("\n") + "\n\n# Tables\n\n" + text.split("\n\n", 2)[1] +
                    "\n\n## " + tables)


if __name__ == "__main__":
    main(*(sys.argv[1:]))
