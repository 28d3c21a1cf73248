#!/usr/bin/env python3
"""Write the training samples of every profile in its charset.

Interface shared with training (scripts/data/train.sh) and the accuracy benchmark:

  prepare.py [LANG...]                       samples of every source, in scripts/work/samples
  prepare.py --exclude SRC --out DIR [LANG...]
                                             the same from every source but SRC, in DIR
  from prepare import profiles, to_charset   (lang, text dir, charset) per profile; one line
                                             brought into a charset

For each profile <lang>-<cs> it writes DIR/<lang>-<cs>/<source>.txt (the text of one source of
scripts/work/text/<text dir>/<source>/, see extract.py, brought into the charset with iconv) and
the list DIR/<lang>-<cs>.lst naming each of those files once; scripts/data/train.sh trains one
profile per list.

How much of each source a profile takes (the same rules with and without --exclude):
  - at most SOURCE_CAP bytes of a source, whole documents in hash order of their names without
    the language's locale, so that close languages take the translations of the same documents;
  - no source more than MAX_SHARE of a profile's text: a larger one is cut to that share;
  - within a group of close languages (langs.GROUPS) only the genres (langs.SOURCE_GENRE)
    every member has (from sources of at least MIN_SOURCE bytes), each genre taken with the
    volume the poorest member has in it and shared out over the member's own sources of that
    genre by their size, so that the members' profiles differ in language, not in genre or in
    weight;
  - within a group, a line that another member's text holds word for word (a string left
    untranslated, a name, a translation copied from the neighbour) is left out: it would teach
    both profiles the same n-grams and tell them apart by nothing;
  - every file is listed once: no source is weighted beyond its share.
A line holding a character that the charset cannot represent is dropped whole (no character is
silently lost), after the substitutions legacy text of the region used anyway: ASCII quotes and
dashes for typographic ones, cedilla forms for the Romanian comma-below letters, and the like.
"""
import argparse
import functools
import hashlib
import os
import shutil
import subprocess
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from langs import CODECS, DOS_TWIN, GROUPS, ICONV, LANGS, SOURCE_GENRE, parallel_key  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WORK = os.path.join(ROOT, "scripts", "work")
TEXT = os.path.join(WORK, "text")
OUT = os.path.join(WORK, "samples")
SOURCE_CAP = 400_000
MAX_SHARE = 0.6
MIN_SOURCE = 8_000

LEGACY_SUBST = {
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u201b": "'", "\u2039": "'", "\u203a": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u201f": '"', "\u00ab": '"', "\u00bb": '"',
    "\u2013": "-", "\u2014": "-", "\u2015": "-", "\u2212": "-", "\u2026": "...",
    "\u2022": "*", "\u00a0": " ", "\u0219": "\u015f", "\u021b": "\u0163", "\u0218": "\u015e",
    "\u021a": "\u0162", "\u02bc": "'", "\u2010": "-", "\u2011": "-",
    # Persian and Urdu in code page 1256 use the Arabic yeh and no combining hamza or alef.
    "\u06cc": "\u064a", "\u06d4": ".", "\u0654": "", "\u0670": "", "\u06c2": "\u06c1",
    # Azerbaijani in code page 1254 writes schwa as a-umlaut.
    "\u0259": "\u00e4", "\u018f": "\u00c4",
    # Ukrainian and Belarusian in code page 866 write the dotted i as the Latin letter.
    "\u0456": "i", "\u0406": "I", "\u0491": "\u0433", "\u0490": "\u0413",
}

# Charsets whose text a language wrote with a variant of the named code page: Ukrainian KOI8
# text is KOI8-U, Belarusian KOI8-RU (both reported as koi8-r, the name the engine knows).
VARIANT = {("uk", "koi8-r"): ("koi8_u", "KOI8-U"), ("be", "koi8-r"): ("koi8_u", "KOI8-RU")}


def profiles():
    """(profile language id, text directory name, charset) for every profile."""
    out = []
    for lang, entry in sorted(LANGS.items()):
        for cs in entry["charsets"]:
            out.append((lang, lang, cs))
        if "latin" in entry:
            for cs in entry["latin"]["charsets"]:
                out.append((lang, lang + "-latn", cs))
        if entry.get("fold"):
            out.append((lang, (lang + "-latn" if "latin" in entry else lang), "1252"))
    return out


# Letters that plain-ASCII writing replaces by a base letter without a decomposition.
FOLD_EXTRA = {"\u0111": "d", "\u0110": "D", "\u0142": "l", "\u0141": "L", "\u0131": "i",
              "\u0259": "e", "\u018f": "E", "\u0127": "h", "\u0126": "H"}


def fold(line):
    """The line as typed in plain ASCII: letters lose their diacritics."""
    out = []
    for ch in line:
        if ord(ch) < 0x80 or not ch.isalpha():
            out.append(ch)
            continue
        ch = FOLD_EXTRA.get(ch, ch)
        base = "".join(c for c in unicodedata.normalize("NFKD", ch)
                       if not unicodedata.combining(c))
        out.append(base)
    return "".join(out)


TONE_MARKS = "\u0300\u0301\u0303\u0309\u0323"


def tone_marks_apart(line):
    """Vietnamese as code page 1258 writes it: letters with their vowel marks precomposed
    (â ê ô ă ơ ư), tone marks as combining characters after them."""
    out, base, tones = [], "", ""
    for c in unicodedata.normalize("NFD", line) + " ":
        if unicodedata.combining(c):
            if c in TONE_MARKS:
                tones += c
            else:
                base += c
            continue
        out.append(unicodedata.normalize("NFC", base) + tones)
        base, tones = c, ""
    return "".join(out)


def to_charset(line, cs, codec=None):
    """The line ready for iconv into cs, or None when it cannot be represented."""
    if cs == "utf8":
        return line
    if cs == "1258":
        line = tone_marks_apart(line)
    codec = codec or CODECS[cs]
    try:
        line.encode(codec)
        return line
    except UnicodeEncodeError:
        pass
    fixed = []
    for ch in line:
        try:
            ch.encode(codec)
            fixed.append(ch)
        except UnicodeEncodeError:
            sub = LEGACY_SUBST.get(ch)
            if sub is None:
                return None
            fixed.append(sub)
    fixed = "".join(fixed)
    try:
        fixed.encode(codec)
    except UnicodeEncodeError:
        return None
    return fixed


def doc_hash(name):
    return int(hashlib.sha1(name.encode()).hexdigest()[:12], 16)


def source_sizes(textdir, exclude):
    """{source: [(path, bytes)]} of a text directory, documents in hash order of their names
    without the language's locale (langs.parallel_key): a capped source of every language takes
    the translations of the same documents first."""
    base = os.path.join(TEXT, textdir)
    lang = textdir.split("-")[0]
    out = {}
    if not os.path.isdir(base):
        return out
    for src in sorted(os.listdir(base)):
        if src == exclude:
            continue
        d = os.path.join(base, src)
        docs = sorted(os.listdir(d), key=lambda f: (doc_hash(parallel_key(f, lang)), f))
        out[src] = [(os.path.join(d, f), os.path.getsize(os.path.join(d, f))) for f in docs]
    return out


def split(total, weights):
    """total bytes shared out in proportion to weights {key: bytes}, in whole bytes."""
    whole = sum(weights.values())
    return {k: total * w // whole for k, w in weights.items()} if whole else {}


def budgets(lang, textdir, exclude):
    """{source: bytes} a profile of the language takes from each of its sources."""
    sizes = source_sizes(textdir, exclude)
    capped = {s: min(sum(b for _, b in docs), SOURCE_CAP) for s, docs in sizes.items()}
    group = next((g for g in GROUPS if lang in g), None)
    if group:
        # Every member takes the genres all members have, each genre with the volume of the
        # poorest member, shared out over the member's own sources of that genre.
        def genres(textdir):
            out = {}
            for s, docs in source_sizes(textdir, exclude).items():
                size = min(sum(b for _, b in docs), SOURCE_CAP)
                if size >= MIN_SOURCE:
                    out.setdefault(SOURCE_GENRE[s], {})[s] = size
            return out

        members = [genres(m) for m in group]
        mine = genres(textdir)
        want = {}
        for genre in sorted(set.intersection(*(set(m) for m in members))):
            volume = min(sum(m[genre].values()) for m in members)
            want.update(split(min(volume, sum(mine[genre].values())), mine[genre]))
    else:
        want = {s: t for s, t in capped.items() if t}
    if len(want) > 1:
        big = max(want, key=lambda s: (want[s], s))
        rest = sum(v for s, v in want.items() if s != big)
        if want[big] > MAX_SHARE * (want[big] + rest):
            want[big] = int(rest * MAX_SHARE / (1 - MAX_SHARE))
    return sizes, want


@functools.lru_cache(maxsize=None)
def text_lines(textdir, exclude):
    """Every line of a text directory's sources but `exclude`, as a set."""
    out = set()
    for src, docs in source_sizes(textdir, exclude).items():
        for path, _ in docs:
            with open(path, encoding="utf-8") as f:
                out.update(ln.rstrip("\n") for ln in f)
    return out


@functools.lru_cache(maxsize=None)
def neighbour_lines(lang, exclude):
    """The lines of the other members of the language's group (their text in every script)."""
    group = next((g for g in GROUPS if lang in g), ())
    out = set()
    for m in group:
        if m == lang:
            continue
        for textdir in (m, m + "-latn"):
            if os.path.isdir(os.path.join(TEXT, textdir)):
                out |= text_lines(textdir, exclude)
    return frozenset(out)


def page_chars(codec):
    """The characters of an 8-bit code page above ASCII, in byte order."""
    out = []
    for b in range(0x80, 0x100):
        try:
            out.append(bytes([b]).decode(codec))
        except UnicodeDecodeError:
            pass
    return out


def stand_ins(cs):
    """For DOS code page cs: a translation of every character its Windows twin has and cs
    lacks (in the twin's byte order) to a character cs has and the twin lacks, box-drawing and
    block signs first (in cs's byte order)."""
    dos, win = CODECS[cs], CODECS[DOS_TWIN[cs]]
    dos_chars, win_chars = page_chars(dos), page_chars(win)
    missing = [c for c in win_chars if c not in dos_chars]
    spare = [c for c in dos_chars if c not in win_chars]
    spare.sort(key=lambda c: not 0x2500 <= ord(c) <= 0x25FF)
    if len(spare) < len(missing):
        raise SystemExit("prepare: code page %s has too few stand-ins" % cs)
    return str.maketrans(dict(zip(missing, spare)))


STAND_INS = {}


def dos_line(line, cs):
    """The line as the DOS profile of cs learns it: the Windows twin's line (None when the twin
    drops it), with the characters cs lacks replaced by their stand-ins."""
    line = to_charset(line, DOS_TWIN[cs])
    if line is None:
        return None
    if cs not in STAND_INS:
        STAND_INS[cs] = stand_ins(cs)
    return line.translate(STAND_INS[cs])


def prepare(lang, textdir, cs, out=OUT, exclude=None):
    dest = os.path.join(out, "%s-%s" % (lang, cs))
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    # A 1252 profile of a language whose letters 1252 lacks models its plain-ASCII writing.
    folded = cs == "1252" and "1252" not in (
        LANGS[lang].get("latin", LANGS[lang]) if textdir.endswith("-latn") else LANGS[lang]
    )["charsets"]
    codec, iconv_name = VARIANT.get((lang, cs), (CODECS.get(cs), ICONV[cs]))
    sizes, want = budgets(lang, textdir, exclude)
    shared = neighbour_lines(lang, exclude)
    files, kept, dropped, used = [], 0, 0, {}
    for src in sorted(want):
        lines, size = [], 0
        for path, _ in sizes[src]:
            if size >= want[src]:
                break
            with open(path, encoding="utf-8") as f:
                for ln in f:
                    ln = ln.rstrip("\n")
                    if size >= want[src]:
                        break
                    if ln in shared:
                        continue
                    size += len(ln.encode()) + 1
                    if folded:
                        ln = fold(ln)
                    if cs in DOS_TWIN:
                        conv = dos_line(ln, cs)
                    elif lang == "be" and cs == "koi8-r":
                        conv = ln if to_charset(ln.replace("\u045e", "\u0443").replace(
                            "\u040e", "\u0423"), cs, codec) is not None else None
                    else:
                        conv = to_charset(ln, cs, codec)
                    if conv is None:
                        dropped += 1
                    else:
                        lines.append(conv)
                        kept += 1
        used[src] = size
        if not lines:
            continue
        data = ("\n".join(lines) + "\n").encode("utf-8")
        path = os.path.join(dest, src + ".txt")
        res = subprocess.run(["iconv", "-f", "UTF-8", "-t", iconv_name], input=data,
                             capture_output=True)
        if res.returncode != 0:
            # iconv and Python disagree on a few code points: drop only those.
            res = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", iconv_name], input=data,
                                 capture_output=True)
        with open(path, "wb") as f:
            f.write(res.stdout)
        files.append(path)
    with open(dest + ".lst", "w") as f:
        f.write("".join(p + "\n" for p in files))
    return kept, dropped, used


def main():
    ap = argparse.ArgumentParser(description="write the training samples of the profiles")
    ap.add_argument("--exclude", help="leave this source out")
    ap.add_argument("--out", default=OUT, help="directory of the samples and lists")
    ap.add_argument("langs", nargs="*")
    args = ap.parse_args()
    only = set(args.langs)
    os.makedirs(args.out, exist_ok=True)
    report = []
    for lang, textdir, cs in profiles():
        if only and lang not in only:
            continue
        kept, dropped, used = prepare(lang, textdir, cs, args.out, args.exclude)
        for src, size in sorted(used.items()):
            report.append("%s\t%s\t%s\t%s\t%d\n" % (lang, textdir, cs, src, size))
        if not kept:
            print("prepare: %s-%s has no text" % (lang, cs), file=sys.stderr)
        elif dropped > 0.2 * (kept + dropped):
            print("prepare: %s-%s dropped %d of %d lines" % (lang, cs, dropped, kept + dropped),
                  file=sys.stderr)
    if args.out == OUT and not args.exclude:
        path = os.path.join(WORK, "prepare-report.txt")
        old = []
        if only and os.path.exists(path):
            with open(path) as f:
                old = [ln for ln in f if ln.split("\t", 1)[0] not in only]
        with open(path, "w") as f:
            f.writelines(sorted(old + report))


if __name__ == "__main__":
    main()
