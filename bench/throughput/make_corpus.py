#!/usr/bin/env python3
"""Build the multilingual, multi-charset corpus for the bulk throughput benchmark.

Text comes from translated man pages and message catalogues of pinned Debian
packages (packages.lock beside this script).  Each document is a run of real
paragraphs of one language, 64 B to 4 KiB once encoded, converted with iconv
into one of the charsets that language is commonly written in (UTF-8, UTF-16,
Windows code pages, ISO-8859-x, KOI8, Shift_JIS, EUC-JP, GB2312, Big5, EUC-KR,
...).  Some documents are wrapped in HTML or XML with or without a charset
declaration.  The same lock file, seed and count always give the same bytes.

Output (default bench/work/, ignored by git):
  debs/                 downloaded .deb files
  src/<package>/        unpacked packages
  corpus/docs/          the documents
  corpus/bulk.lst       bulk list naming every document (relative paths)
  corpus/manifest.tsv   path, language, charset, kind, size of each document
  corpus/empty.lst      an empty list, corpus/one.lst a one-document list
  corpus/CORPUS.txt     packages, seed, totals and a digest of the corpus

Only the Python standard library, apt-get, dpkg-deb and iconv are used.
"""

import argparse
import collections
import gettext
import gzip
import hashlib
import html
import math
import os
import random
import re
import subprocess
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

# Charset families: (iconv name, weight).  UTF-16 documents are written with
# or without a byte order mark.
WESTERN = [("UTF-8", 5), ("CP1252", 4), ("ISO-8859-1", 2), ("ISO-8859-15", 1),
           ("UTF-16LE", 1), ("UTF-16BE", 0.5)]
CENTRAL = [("UTF-8", 5), ("CP1250", 4), ("ISO-8859-2", 3), ("UTF-16LE", 1)]
ROMANIAN = [("UTF-8", 5), ("CP1250", 2), ("ISO-8859-2", 1), ("ISO-8859-16", 2)]
RUSSIAN = [("UTF-8", 5), ("CP1251", 4), ("KOI8-R", 3), ("ISO-8859-5", 1),
           ("CP866", 1), ("UTF-16LE", 1)]
UKRAINIAN = [("UTF-8", 5), ("CP1251", 4), ("KOI8-U", 2), ("UTF-16LE", 0.5)]
CYRILLIC = [("UTF-8", 5), ("CP1251", 4), ("ISO-8859-5", 1)]
GREEK = [("UTF-8", 5), ("CP1253", 3), ("ISO-8859-7", 3)]
TURKISH = [("UTF-8", 5), ("CP1254", 3), ("ISO-8859-9", 3)]
HEBREW = [("UTF-8", 5), ("CP1255", 3), ("ISO-8859-8", 2)]
ARABIC = [("UTF-8", 5), ("CP1256", 4), ("ISO-8859-6", 2)]
PERSIAN = [("UTF-8", 5), ("CP1256", 3)]
BALTIC = [("UTF-8", 5), ("CP1257", 4), ("ISO-8859-13", 2)]
VIETNAMESE = [("UTF-8", 6), ("CP1258", 2)]
THAI = [("UTF-8", 5), ("TIS-620", 3), ("CP874", 2)]
JAPANESE = [("UTF-8", 5), ("SHIFT_JIS", 4), ("EUC-JP", 3), ("ISO-2022-JP", 2),
            ("CP932", 1), ("UTF-16LE", 1)]
SIMPLIFIED = [("UTF-8", 5), ("GB2312", 4), ("GBK", 2), ("GB18030", 1),
              ("UTF-16LE", 1)]
TRADITIONAL = [("UTF-8", 5), ("BIG5", 5)]
KOREAN = [("UTF-8", 5), ("EUC-KR", 4), ("CP949", 2), ("ISO-2022-KR", 1)]
UNICODE_ONLY = [("UTF-8", 6), ("UTF-16LE", 1), ("UTF-16BE", 1)]

# Directory name under usr/share/man or usr/share/locale -> (code, charsets).
LANGUAGES = {
    "en": ("en", WESTERN), "fr": ("fr", WESTERN), "de": ("de", WESTERN),
    "es": ("es", WESTERN), "it": ("it", WESTERN), "nl": ("nl", WESTERN),
    "sv": ("sv", WESTERN), "da": ("da", WESTERN), "fi": ("fi", WESTERN),
    "nb": ("nb", WESTERN), "pt_BR": ("pt", WESTERN), "pt": ("pt", WESTERN),
    "id": ("id", WESTERN), "ca": ("ca", WESTERN), "eu": ("eu", WESTERN),
    "gl": ("gl", WESTERN), "af": ("af", WESTERN), "ga": ("ga", WESTERN),
    "ms": ("ms", WESTERN), "is": ("is", WESTERN),
    "pl": ("pl", CENTRAL), "cs": ("cs", CENTRAL), "hu": ("hu", CENTRAL),
    "sk": ("sk", CENTRAL), "sl": ("sl", CENTRAL), "hr": ("hr", CENTRAL),
    "ro": ("ro", ROMANIAN),
    "ru": ("ru", RUSSIAN), "uk": ("uk", UKRAINIAN), "bg": ("bg", CYRILLIC),
    "sr": ("sr", CYRILLIC), "mk": ("mk", CYRILLIC), "be": ("be", CYRILLIC),
    "el": ("el", GREEK), "tr": ("tr", TURKISH), "he": ("he", HEBREW),
    "ar": ("ar", ARABIC), "fa": ("fa", PERSIAN),
    "lt": ("lt", BALTIC), "lv": ("lv", BALTIC), "et": ("et", BALTIC),
    "vi": ("vi", VIETNAMESE), "th": ("th", THAI),
    "ja": ("ja", JAPANESE), "zh_CN": ("zh", SIMPLIFIED),
    "zh_TW": ("zt", TRADITIONAL), "ko": ("ko", KOREAN),
    "hi": ("hi", UNICODE_ONLY), "ka": ("ka", UNICODE_ONLY),
    "hy": ("hy", UNICODE_ONLY), "kk": ("kk", UNICODE_ONLY),
}

# Python codec of each iconv charset, used only to estimate encoded sizes
# and to drop characters the charset cannot hold before iconv converts.
PY_CODEC = {
    "UTF-8": "utf-8", "UTF-16LE": "utf-16-le", "UTF-16BE": "utf-16-be",
    "CP1252": "cp1252", "ISO-8859-1": "latin-1", "ISO-8859-15": "iso8859_15",
    "CP1250": "cp1250", "ISO-8859-2": "iso8859_2", "ISO-8859-16": "iso8859_16",
    "CP1251": "cp1251", "KOI8-R": "koi8_r", "KOI8-U": "koi8_u",
    "ISO-8859-5": "iso8859_5", "CP866": "cp866", "CP1253": "cp1253",
    "ISO-8859-7": "iso8859_7", "CP1254": "cp1254", "ISO-8859-9": "iso8859_9",
    "CP1255": "cp1255", "ISO-8859-8": "iso8859_8", "CP1256": "cp1256",
    "ISO-8859-6": "iso8859_6", "CP1257": "cp1257", "ISO-8859-13": "iso8859_13",
    "CP1258": None, "TIS-620": "tis_620", "CP874": "cp874",
    "SHIFT_JIS": "shift_jis", "CP932": "cp932", "EUC-JP": "euc_jp",
    "ISO-2022-JP": "iso2022_jp", "GB2312": "gb2312", "GBK": "gbk",
    "GB18030": "gb18030", "BIG5": "big5", "EUC-KR": "euc_kr", "CP949": "cp949",
    "ISO-2022-KR": "iso2022_kr",
}

# Name written into HTML/XML declarations.
WEB_NAME = {
    "UTF-8": "utf-8", "CP1252": "windows-1252", "ISO-8859-1": "iso-8859-1",
    "ISO-8859-15": "iso-8859-15", "CP1250": "windows-1250",
    "ISO-8859-2": "iso-8859-2", "ISO-8859-16": "iso-8859-16",
    "CP1251": "windows-1251", "KOI8-R": "koi8-r", "KOI8-U": "koi8-u",
    "ISO-8859-5": "iso-8859-5", "CP866": "ibm866", "CP1253": "windows-1253",
    "ISO-8859-7": "iso-8859-7", "CP1254": "windows-1254",
    "ISO-8859-9": "iso-8859-9", "CP1255": "windows-1255",
    "ISO-8859-8": "iso-8859-8", "CP1256": "windows-1256",
    "ISO-8859-6": "iso-8859-6", "CP1257": "windows-1257",
    "ISO-8859-13": "iso-8859-13", "CP1258": "windows-1258",
    "TIS-620": "tis-620", "CP874": "windows-874", "SHIFT_JIS": "shift_jis",
    "CP932": "windows-31j", "EUC-JP": "euc-jp", "ISO-2022-JP": "iso-2022-jp",
    "GB2312": "gb2312", "GBK": "gbk", "GB18030": "gb18030", "BIG5": "big5",
    "EUC-KR": "euc-kr", "CP949": "ks_c_5601-1987", "ISO-2022-KR": "iso-2022-kr",
}

MIN_SIZE = 64
MAX_SIZE = 4096
POOL_CAP = 1_500_000  # characters of source text kept per language
MIN_POOL = 4_000      # languages with less text are left out


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def read_lock(path):
    pkgs = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                name, version = line.split()
                pkgs.append((name, version))
    return pkgs


def deb_file_name(name, version, debs):
    # apt-get names files name_version_arch.deb with the epoch colon escaped.
    stem = "%s_%s_" % (name, version.replace(":", "%3a"))
    for f in sorted(os.listdir(debs)):
        if f.startswith(stem) and f.endswith(".deb"):
            return os.path.join(debs, f)
    return None


def fetch_packages(pkgs, work, any_version, offline):
    debs = os.path.join(work, "debs")
    os.makedirs(debs, exist_ok=True)
    got = []
    refreshed = False
    for name, version in pkgs:
        path = deb_file_name(name, version, debs)
        if path is None and not offline:
            log("downloading %s=%s" % (name, version))
            r = subprocess.run(["apt-get", "download", "%s=%s" % (name, version)],
                               cwd=debs, capture_output=True, text=True)
            if r.returncode != 0 and not refreshed:
                # A fresh machine may not have package lists yet.
                log("  refreshing the package lists")
                subprocess.run(["apt-get", "update"], capture_output=True)
                refreshed = True
                r = subprocess.run(["apt-get", "download", "%s=%s" % (name, version)],
                                   cwd=debs, capture_output=True, text=True)
            if r.returncode != 0 and any_version:
                log("  pinned version unavailable; taking the current one")
                r = subprocess.run(["apt-get", "download", name], cwd=debs,
                                   capture_output=True, text=True)
                if r.returncode == 0:
                    cands = [f for f in sorted(os.listdir(debs))
                             if f.startswith(name + "_") and f.endswith(".deb")]
                    if cands:
                        path = os.path.join(debs, cands[-1])
            if r.returncode != 0:
                sys.exit("cannot download %s=%s:\n%s\n(pass --any-version to accept "
                         "another version)"
                         % (name, version, r.stderr.strip()))
            if path is None:
                path = deb_file_name(name, version, debs)
        if path is None:
            sys.exit("missing %s=%s in %s" % (name, version, debs))
        with open(path, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        dest = os.path.join(work, "src", name)
        stamp = os.path.join(dest, ".unpacked-" + digest)
        if not os.path.exists(stamp):
            subprocess.run(["rm", "-rf", dest], check=True)
            os.makedirs(dest)
            subprocess.run(["dpkg-deb", "-x", path, dest], check=True)
            open(stamp, "w").close()
        got.append((name, os.path.basename(path), digest, dest))
    return got


# --- troff to text ---------------------------------------------------------

GLYPHS = {
    "em": "\u2014", "en": "\u2013", "hy": "-", "aq": "'", "dq": '"',
    "lq": "\u201c", "rq": "\u201d", "oq": "\u2018", "cq": "\u2019",
    "Fo": "\u00ab", "Fc": "\u00bb", "fo": "\u2039", "fc": "\u203a",
    "bu": "\u2022", "co": "\u00a9", "rg": "\u00ae", "tm": "\u2122",
    "de": "\u00b0", "mu": "\u00d7", "di": "\u00f7", "+-": "\u00b1",
    "<=": "\u2264", ">=": "\u2265", "!=": "\u2260", "->": "\u2192",
    "<-": "\u2190", "ti": "~", "ha": "^", "rs": "\\", "ga": "`", "ul": "_",
    "sl": "/", "ba": "|", "or": "|", "lB": "[", "rB": "]", "lC": "{",
    "rC": "}", "la": "\u27e8", "ra": "\u27e9", "es": "\u2205", "dg": "\u2020",
    "sc": "\u00a7", "ps": "\u00b6", "ct": "\u00a2", "Po": "\u00a3",
    "Ye": "\u00a5", "Eu": "\u20ac", "eu": "\u20ac", "at": "@", "sh": "#",
    "Do": "$", "pc": "\u00b7", "aa": "\u00b4", "a\"": "\u02dd", "ss": "\u00df",
}

ESCAPES = re.compile(
    r"\\(?:"
    r"f(?:\[[^\]]*\]|\(..|.)"        # font changes
    r"|s[-+]?(?:\[[^\]]*\]|\(..|\d+)"  # size changes
    r"|[*](?:\[[^\]]*\]|\(..|.)"       # strings
    r"|[nmgkMVY](?:\[[^\]]*\]|\(..|.)"  # registers, colours
    r"|[hvwlLDbxoHSNRzZXAB]'[^']*'"    # escapes with a quoted argument
    r"|\((..)"                         # glyph \(xx
    r"|\[([^\]]*)\]"                   # glyph \[xxx]
    r"|(.)"                            # anything else
    r")", re.S)


def unescape_troff(s):
    def repl(m):
        two, long_name, one = m.group(1), m.group(2), m.group(3)
        if two is not None:
            return GLYPHS.get(two, "")
        if long_name is not None:
            if long_name.startswith("u") and re.fullmatch(r"u[0-9A-Fa-f]{4,6}", long_name):
                return chr(int(long_name[1:], 16))
            return GLYPHS.get(long_name, "")
        if one is None:
            return ""
        if one in "-e":
            return "-" if one == "-" else "\\"
        if one in " ~0":
            return " "
        if one in "&|^%c)/,:!\n{}":
            return ""
        if one in "'`":
            return "\u00b4" if one == "'" else "`"
        if one == '"':
            return ""  # comment start is handled before this
        return one
    return ESCAPES.sub(repl, s)


TEXT_MACROS = {"B", "I", "BI", "IB", "BR", "RB", "IR", "RI", "SM", "SB", "UR",
               "MT", "Nm", "Nd", "Ar", "Fl", "Dt", "Em", "Sy", "Pa", "Xr"}
BREAK_MACROS = {"PP", "P", "LP", "TP", "TQ", "IP", "HP", "sp", "br", "RS",
                "RE", "Pp", "Sh", "Ss", "Bl", "El", "It", "EX", "EE", "nf",
                "fi", "in", "ti"}


def macro_args(args):
    out = []
    for m in re.finditer(r'"((?:[^"]|"")*)"|(\S+)', args):
        out.append((m.group(1) if m.group(1) is not None else m.group(2)).replace('""', '"'))
    return out


def troff_to_paragraphs(src):
    paras, cur = [], []

    def flush():
        if cur:
            paras.append("\n".join(cur))
            cur.clear()

    for raw in src.split("\n"):
        line = raw.split('\\"', 1)[0] if '\\"' in raw else raw
        if raw.startswith((".\\\"", "'\\\"", "\\\"")):
            continue
        if line.startswith((".", "'")):
            m = re.match(r"[.']\s*(\S+)\s*(.*)", line)
            if not m:
                continue
            req, args = m.group(1), m.group(2)
            if req in ("SH", "SS"):
                flush()
                title = " ".join(macro_args(args))
                if title:
                    paras.append(unescape_troff(title))
            elif req in TEXT_MACROS:
                words = macro_args(args)
                if req in ("BR", "RB", "IR", "RI", "BI", "IB"):
                    cur.append("".join(words))
                elif words:
                    cur.append(" ".join(words))
            elif req in BREAK_MACROS:
                flush()
                if req == "IP":
                    words = macro_args(args)
                    if words:
                        cur.append(words[0])
            continue
        if not line.strip():
            flush()
            continue
        cur.append(line)
    flush()
    out = []
    for p in paras:
        p = unescape_troff(p)
        p = re.sub(r"[ \t]+", " ", p).strip()
        if sum(ch.isalpha() for ch in p) >= 3:
            out.append(p)
    return out


def decode_text(data):
    for enc in ("utf-8", "euc-jp", "gb18030", "big5", "euc-kr", "latin-1"):
        try:
            return data.decode(enc)
        except UnicodeDecodeError:
            continue
    return data.decode("utf-8", "replace")


def stable_order(paths):
    # A fixed shuffle that does not depend on the random seed: the pool cap
    # then keeps a spread of pages rather than the first section only.
    return sorted(paths, key=lambda p: hashlib.sha1(p.encode()).hexdigest())


def man_pages(root):
    """Yield (language directory, path) for every man page under root."""
    base = os.path.join(root, "usr", "share", "man")
    if not os.path.isdir(base):
        return
    for entry in sorted(os.listdir(base)):
        lang = "en" if entry.startswith("man") else entry
        top = os.path.join(base, entry)
        for dirpath, _, files in sorted(os.walk(top)):
            for f in sorted(files):
                if f.endswith(".gz"):
                    yield lang, os.path.join(dirpath, f)


def catalogues(root):
    base = os.path.join(root, "usr", "share", "locale")
    if not os.path.isdir(base):
        return
    for lang in sorted(os.listdir(base)):
        d = os.path.join(base, lang, "LC_MESSAGES")
        if os.path.isdir(d):
            for f in sorted(os.listdir(d)):
                if f.endswith(".mo"):
                    yield lang, os.path.join(d, f)


def catalogue_paragraphs(path, latin):
    with open(path, "rb") as f:
        try:
            cat = gettext.GNUTranslations(f)._catalog
        except Exception:
            return []
    msgs = []
    for key in sorted(cat, key=lambda k: str(k)):
        if key == "" or (isinstance(key, tuple) and key[0] == ""):
            continue
        v = cat[key]
        if isinstance(v, str):
            v = v.replace("_", "").strip()
            if sum(ch.isalpha() for ch in v) < 3 or v.startswith("%"):
                continue
            if latin or own_script_share(v) >= 0.5:
                msgs.append(v)
    # Short interface strings: group a few into one paragraph each.
    return [" ".join(msgs[i:i + 4]) for i in range(0, len(msgs), 4)]


LATIN_SCRIPT = {"en", "fr", "de", "es", "it", "nl", "sv", "da", "fi", "nb", "pt",
                "id", "ca", "eu", "gl", "af", "ga", "ms", "is", "pl", "cs", "hu",
                "sk", "sl", "hr", "ro", "tr", "lt", "lv", "et", "vi"}


def own_script_share(p):
    letters = [ch for ch in p if ch.isalpha()]
    if not letters:
        return 0.0
    return sum(ord(ch) > 0x24F for ch in letters) / len(letters)


def build_pools(unpacked):
    pools = collections.defaultdict(list)
    sizes = collections.Counter()
    sources = []
    for _, _, _, dest in unpacked:
        sources.extend(("man", lang, p) for lang, p in man_pages(dest))
        sources.extend(("mo", lang, p) for lang, p in catalogues(dest))
    by_lang = collections.defaultdict(list)
    for kind, lang, path in sources:
        if lang in LANGUAGES:
            by_lang[LANGUAGES[lang][0]].append((kind, path))
    for code in sorted(by_lang):
        # Man pages first (real prose), catalogues only to fill up.
        items = by_lang[code]
        mans = stable_order([p for k, p in items if k == "man"])
        mos = stable_order([p for k, p in items if k == "mo"])
        for kind, path in [("man", p) for p in mans] + [("mo", p) for p in mos]:
            if sizes[code] >= POOL_CAP:
                break
            if kind == "man":
                with gzip.open(path, "rb") as f:
                    paras = troff_to_paragraphs(decode_text(f.read()))
            else:
                paras = catalogue_paragraphs(path, code in LATIN_SCRIPT)
            if code not in LATIN_SCRIPT:
                # Translations leave untranslated English behind; keep only
                # paragraphs that are mostly in the language's own script.
                paras = [p for p in paras if own_script_share(p) >= 0.5]
            pools[code].extend(paras)
            sizes[code] += sum(len(p) for p in paras)
    return {c: p for c, p in pools.items() if sizes[c] >= MIN_POOL}


# --- documents -------------------------------------------------------------

def charsets_of(code):
    for dirname, (c, cs) in LANGUAGES.items():
        if c == code:
            return cs
    return UNICODE_ONLY


def weighted(rng, items):
    total = sum(w for _, w in items)
    x = rng.random() * total
    for v, w in items:
        x -= w
        if x < 0:
            return v
    return items[-1][0]


def representable(text, charset):
    codec = PY_CODEC.get(charset)
    if charset == "CP1258":
        # Vietnamese in CP1258 is written decomposed; iconv does that itself.
        return text
    if codec is None:
        return text
    return text.encode(codec, "ignore").decode(codec)


def encoded_size(text, charset):
    codec = PY_CODEC.get(charset)
    if codec is None:
        return len(text.encode("utf-8"))
    return len(text.encode(codec, "ignore"))


def iconv(text, charset):
    data = text.encode("utf-8")
    r = subprocess.run(["iconv", "-f", "UTF-8", "-t", charset], input=data,
                       capture_output=True)
    if r.returncode == 0:
        return r.stdout
    r = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", charset],
                       input=data, capture_output=True)
    return r.stdout


def pick_text(pool, start, chars):
    parts, n, i = [], 0, start
    while n < chars and len(parts) < len(pool):
        parts.append(pool[i % len(pool)])
        n += len(parts[-1]) + 2
        i += 1
    text = "\n\n".join(parts)
    if len(text) > chars:
        cut = text.rfind(" ", int(chars * 0.8), chars)
        text = text[:cut if cut > 0 else chars]
    return text.strip()


def as_html(rng, text, lang, charset):
    paras = [p for p in text.split("\n\n") if p.strip()]
    title = html.escape(paras[0][:60].replace("\n", " ")) if paras else ""
    head = ["<!DOCTYPE html>" if rng.random() < 0.7 else
            '<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">']
    head.append('<html lang="%s">' % lang if rng.random() < 0.5 else "<html>")
    head.append("<head>")
    decl = rng.random()
    if decl < 0.4:
        head.append('<meta charset="%s">' % WEB_NAME[charset])
    elif decl < 0.7:
        head.append('<meta http-equiv="Content-Type" content="text/html; charset=%s">'
                    % WEB_NAME[charset])
    head.append("<title>%s</title>" % title)
    if rng.random() < 0.4:
        head.append("<style>\nbody { font-family: sans-serif; margin: 2em; }\n"
                    "p.note { color: #555; }\n</style>")
    if rng.random() < 0.3:
        head.append('<script type="text/javascript">\nvar shown = 0;\n'
                    'function toggle(id) { shown = 1 - shown; }\n</script>')
    head.append("</head>\n<body>")
    body = []
    for i, p in enumerate(paras):
        p = html.escape(p, quote=False).replace("\u00a0", "&nbsp;")
        if i == 0:
            body.append("<h1>%s</h1>" % p)
        elif rng.random() < 0.15:
            body.append('<p class="note"><b>%s</b></p>' % p)
        else:
            body.append("<p>%s</p>" % p.replace("\n", "<br>\n"))
        if rng.random() < 0.1:
            body.append("<!-- section %d -->" % i)
    return "\n".join(head + body + ["</body>\n</html>\n"])


def as_xml(rng, text, lang, charset):
    paras = [p for p in text.split("\n\n") if p.strip()]
    out = ['<?xml version="1.0" encoding="%s"?>' % WEB_NAME[charset].upper()]
    out.append('<document xml:lang="%s">' % lang if rng.random() < 0.5 else "<document>")
    for i, p in enumerate(paras):
        tag = "title" if i == 0 else "para"
        out.append("  <%s>%s</%s>" % (tag, html.escape(p, quote=False), tag))
    out.append("</document>\n")
    return "\n".join(out)


def make_document(rng, pool, lang, charset, kind, target):
    """Return the encoded bytes of one document of about target bytes."""
    bom = b""
    if charset == "UTF-16LE" and rng.random() < 0.7:
        bom = b"\xff\xfe"
    elif charset == "UTF-16BE" and rng.random() < 0.7:
        bom = b"\xfe\xff"
    elif charset == "UTF-8" and rng.random() < 0.05:
        bom = b"\xef\xbb\xbf"
    crlf = kind == "text" and rng.random() < 0.1
    wrap = kind == "text" and rng.random() < 0.3
    start = rng.randrange(len(pool))
    markup_seed = rng.getrandbits(32)
    chars = max(16, target // 2)
    best = None
    for _ in range(6):
        text = representable(pick_text(pool, start, chars), charset)
        if wrap:
            text = "\n".join(
                "\n".join(line[i:i + 76] for i in range(0, max(len(line), 1), 76))
                for line in text.split("\n"))
        if kind == "html":
            body = as_html(random.Random(markup_seed), text, lang, charset)
        elif kind == "xml":
            body = as_xml(random.Random(markup_seed), text, lang, charset)
        else:
            body = text + "\n"
        if crlf:
            body = body.replace("\n", "\r\n")
        size = encoded_size(body, charset) + len(bom)
        if MIN_SIZE <= size <= MAX_SIZE:
            best = body
            if abs(size - target) <= target * 0.2:
                break
        chars = max(8, int(chars * target / max(size, 1)))
    if best is None:
        return None
    data = bom + iconv(best, charset)
    if not (MIN_SIZE <= len(data) <= MAX_SIZE):
        return None
    return data


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--work", default=os.path.join(REPO, "bench", "work"),
                    help="work directory (default: bench/work)")
    ap.add_argument("--count", type=int, default=4000, help="number of documents")
    ap.add_argument("--seed", type=int, default=20261205)
    ap.add_argument("--html", type=float, default=0.12, help="share of HTML documents")
    ap.add_argument("--xml", type=float, default=0.03, help="share of XML documents")
    ap.add_argument("--lock", default=os.path.join(HERE, "packages.lock"))
    ap.add_argument("--any-version", action="store_true",
                    help="accept the current package version when the pinned one is gone")
    ap.add_argument("--offline", action="store_true",
                    help="use only .deb files already in WORK/debs")
    args = ap.parse_args()

    work = os.path.abspath(args.work)
    pkgs = read_lock(args.lock)
    unpacked = fetch_packages(pkgs, work, args.any_version, args.offline)
    log("reading text sources")
    pools = build_pools(unpacked)
    langs = sorted(pools)
    log("languages: %d (%s)" % (len(langs), " ".join(langs)))

    corpus = os.path.join(work, "corpus")
    docs = os.path.join(corpus, "docs")
    subprocess.run(["rm", "-rf", corpus], check=True)
    os.makedirs(docs)

    rng = random.Random(args.seed)
    # English is the most common language of real collections: give it a
    # larger share, and every other language an equal one.
    lang_weights = [(c, 6 if c == "en" else 1) for c in langs]
    rows = []
    digest = hashlib.sha256()
    i = 0
    while len(rows) < args.count:
        lang = weighted(rng, lang_weights)
        charset = weighted(rng, charsets_of(lang))
        x = rng.random()
        kind = "html" if x < args.html else "xml" if x < args.html + args.xml else "text"
        if kind != "text" and charset.startswith("UTF-16"):
            kind = "text"
        lo = 300 if kind != "text" else MIN_SIZE
        target = int(math.exp(rng.uniform(math.log(lo), math.log(MAX_SIZE))))
        data = make_document(rng, pools[lang], lang, charset, kind, target)
        i += 1
        if data is None:
            continue
        ext = {"text": "txt", "html": "html", "xml": "xml"}[kind]
        name = "docs/%05d-%s-%s.%s" % (len(rows) + 1, lang, charset.lower(), ext)
        with open(os.path.join(corpus, name), "wb") as f:
            f.write(data)
        digest.update(name.encode() + b"\0" + data)
        rows.append((name, lang, charset, kind, len(data)))

    with open(os.path.join(corpus, "bulk.lst"), "w") as f:
        f.writelines(r[0] + "\n" for r in rows)
    with open(os.path.join(corpus, "manifest.tsv"), "w") as f:
        f.write("#path\tlanguage\tcharset\tkind\tbytes\n")
        f.writelines("%s\t%s\t%s\t%s\t%d\n" % r for r in rows)
    open(os.path.join(corpus, "empty.lst"), "w").close()
    with open(os.path.join(corpus, "one.lst"), "w") as f:
        short = min(rows, key=lambda r: (abs(r[4] - 512), r[0]))
        f.write(short[0] + "\n")

    total = sum(r[4] for r in rows)
    by_cs = collections.Counter(r[2] for r in rows)
    by_lang = collections.Counter(r[1] for r in rows)
    by_kind = collections.Counter(r[3] for r in rows)
    with open(os.path.join(corpus, "CORPUS.txt"), "w") as f:
        f.write("documents %d\nbytes %d\nseed %d\nattempts %d\nsha256 %s\n"
                % (len(rows), total, args.seed, i, digest.hexdigest()))
        f.write("\n[packages]\n")
        for name, deb, sha, _ in unpacked:
            f.write("%s %s\n" % (deb, sha))
        f.write("\n[kinds]\n")
        f.writelines("%s %d\n" % kv for kv in sorted(by_kind.items()))
        f.write("\n[charsets]\n")
        f.writelines("%s %d\n" % kv for kv in sorted(by_cs.items()))
        f.write("\n[languages]\n")
        f.writelines("%s %d\n" % kv for kv in sorted(by_lang.items()))
    log("wrote %d documents, %d bytes, to %s (sha256 %s)"
        % (len(rows), total, corpus, digest.hexdigest()[:16]))


if __name__ == "__main__":
    main()
