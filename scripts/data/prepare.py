#!/usr/bin/env python3
"""Write the training samples of every profile in its charset.

For each language and each of its charsets, the extracted training text
(scripts/work/text/<lang>/train) is brought into the charset with iconv, one sample file per
source kind, under scripts/work/samples/<lang>-<charset>/, plus the list file
scripts/work/samples/<lang>-<charset>.lst that training reads. A line holding a character that
the charset cannot represent is dropped whole (no character is silently lost), after the
substitutions legacy text of the region used anyway: ASCII quotes and dashes for typographic
ones, and cedilla forms for the Romanian comma-below letters.

usage: prepare.py [LANG...]   (default: every language)
"""
import os
import shutil
import subprocess
import sys
import unicodedata

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from langs import CODECS, ICONV, LANGS  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WORK = os.path.join(ROOT, "scripts", "work")
TEXT = os.path.join(WORK, "text")
OUT = os.path.join(WORK, "samples")
UDHR_WEIGHT = 3

LEGACY_SUBST = {
    "\u2018": "'", "\u2019": "'", "\u201a": "'", "\u201b": "'", "\u2039": "'", "\u203a": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u201f": '"', "\u00ab": '"', "\u00bb": '"',
    "\u2013": "-", "\u2014": "-", "\u2015": "-", "\u2212": "-", "\u2026": "...",
    "\u2022": "*", "\u00a0": " ", "\u0219": "\u015f", "\u021b": "\u0163", "\u0218": "\u015e",
    "\u021a": "\u0162", "\u02bc": "'", "\u2010": "-", "\u2011": "-",
    # Persian and Urdu in code page 1256 use the Arabic yeh and no combining hamza or alef.
    "\u06cc": "\u064a", "\u06d4": ".", "\u0654": "", "\u0670": "", "\u06c2": "\u06c1",
}


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


def to_charset(line, cs):
    """The line ready for iconv into cs, or None when it cannot be represented."""
    if cs == "utf8":
        return line
    codec = CODECS[cs]
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


def prepare(lang, textdir, cs):
    src = os.path.join(TEXT, textdir, "train")
    dest = os.path.join(OUT, "%s-%s" % (textdir, cs))
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    # A 1252 profile of a language whose letters 1252 lacks models its plain-ASCII writing.
    folded = cs == "1252" and "1252" not in (
        LANGS[lang].get("latin", LANGS[lang]) if textdir.endswith("-latn") else LANGS[lang]
    )["charsets"]
    by_kind = {}
    for fn in sorted(os.listdir(src)):
        by_kind.setdefault(fn.split("-", 1)[0], []).append(fn)
    files, kept, dropped = [], 0, 0
    for kind, fns in sorted(by_kind.items()):
        lines = []
        for fn in fns:
            with open(os.path.join(src, fn), encoding="utf-8") as f:
                for ln in f:
                    ln = ln.rstrip("\n")
                    if folded:
                        ln = fold(ln)
                    conv = to_charset(ln, cs)
                    if conv is None:
                        dropped += 1
                    else:
                        lines.append(conv)
                        kept += 1
        if not lines:
            continue
        data = ("\n".join(lines) + "\n").encode("utf-8")
        out = os.path.join(dest, kind + ".txt")
        res = subprocess.run(["iconv", "-f", "UTF-8", "-t", ICONV[cs]], input=data,
                             capture_output=True)
        if res.returncode != 0:
            # iconv and Python disagree on a few code points: drop only those.
            res = subprocess.run(["iconv", "-c", "-f", "UTF-8", "-t", ICONV[cs]], input=data,
                                 capture_output=True)
        with open(out, "wb") as f:
            f.write(res.stdout)
        files.append(out)
    # The declaration is the one text every language has: listing it UDHR_WEIGHT times gives it
    # the same weight in every profile, so that profiles of closely related languages trained
    # on much and on little other text compete on equal terms.
    listed = []
    for p in files:
        listed += [p] * (UDHR_WEIGHT if os.path.basename(p) == "udhr.txt" else 1)
    with open(dest + ".lst", "w") as f:
        f.write("".join(p + "\n" for p in listed))
    return kept, dropped


def main():
    only = set(sys.argv[1:])
    os.makedirs(OUT, exist_ok=True)
    report = []
    for lang, textdir, cs in profiles():
        if only and lang not in only:
            continue
        kept, dropped = prepare(lang, textdir, cs)
        report.append("%s\t%s\t%s\t%d\t%d\n" % (lang, textdir, cs, kept, dropped))
        if kept and dropped > 0.2 * (kept + dropped):
            print("prepare: %s-%s dropped %d of %d lines" % (textdir, cs, dropped,
                                                          kept + dropped), file=sys.stderr)
    with open(os.path.join(WORK, "prepare-report.txt"), "w") as f:
        f.writelines(report)


if __name__ == "__main__":
    main()
