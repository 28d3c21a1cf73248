#!/usr/bin/env python3
"""Profiles to train, and the language list and language-name files of the data directory.

  write_config.py --profiles [LANG...]   print "id display-name charset text-dir" per profile
  write_config.py --write DATA           write DATA/langlist.cfg and DATA/langname.cfg for the
                                         profiles (*.lm) present in DATA
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from langs import LANGS, SOURCE_GENRE  # noqa: E402
from prepare import profiles  # noqa: E402

# Settings of the n-gram classifier, chosen with bench/accuracy/calibrate.py (figures in
# bench/ACCURACY.md): text of MINSIZE bytes or fewer after noise compaction is not classified,
# and a profile must score at least MINSCORE to be reported.
# - Real sentences of 40 bytes or more keep at least 27 bytes after compaction, so 16 leaves
#   every one of them classified while scraps such as "asdf 1234" answer "un" (digits-only
#   text compacts to nothing and answers "un" at any setting).
# - 0.14 is the highest score threshold at which Chinese and Japanese in gb, big5, sjis and
#   euc-jp are still answered at 64 bytes at least 90 % of the time: their short sentences
#   score low (no spaces, so most of their 3- to 5-byte n-grams are in no profile). It turns
#   every digits-only string into "un" but few keyboard-mash or random-letter strings, which
#   score like short real text; 0.20 would turn two thirds of keyboard mash into "un" but
#   leave half of the short CJK text unanswered and cost every language about one point at
#   64 bytes (the trade-off table of bench/ACCURACY.md).
MINSIZE = 16
MINSCORE = 0.14

# The list order breaks ties between equal scores: more widely used languages first, and
# within a confusable group the language that more text is written in.
PRIORITY = ("en es fr de pt ru it nl ja zh ko ar tr pl sv da nb fi cs hu ro el he th uk id vi "
            "fa hi ca hr sr sk bg zt gl nn bs ms sl lt lv et is eu sq mk be ur mr ne sw af tl "
            "lb cy ga eo mt az").split()
CHARSET_ORDER = ["1252", "850", "1250", "iso-8859-2", "852", "1257", "iso-8859-13",
                 "iso-8859-4", "775", "1254", "857", "1258", "1251", "koi8-r", "iso-8859-5",
                 "866", "855", "1256", "iso-8859-6", "1253", "iso-8859-7", "737", "869", "1255",
                 "iso-8859-8", "862", "874", "sjis", "euc-jp", "gb", "big5", "euc-ksc", "utf8"]


def order_key(name):
    lang, cs = name[:-3].split("-", 1)
    p = PRIORITY.index(lang) if lang in PRIORITY else len(PRIORITY)
    c = CHARSET_ORDER.index(cs) if cs in CHARSET_ORDER else len(CHARSET_ORDER)
    # A plain-ASCII "1252" profile comes after the language's own legacy charsets, so that
    # on equal scores the charset that can hold the language's letters is reported.
    if cs == "1252" and LANGS.get(lang, {}).get("fold"):
        c = len(CHARSET_ORDER) - 1.5
    return (p, lang, c, cs)


def write(data):
    lms = sorted((f for f in os.listdir(data) if f.endswith(".lm")), key=order_key)
    with open(os.path.join(data, "langlist.cfg"), "w") as f:
        f.write("# Language list of glotta: n-gram profiles, compared in this order (it breaks\n"
                "# ties between equal scores), and the classifier settings.\n"
                "# Written by scripts/build_data.sh; see data/SOURCES.md.\n")
        f.write("minsize: %d\n" % MINSIZE)
        f.write("minscore: %s\n" % repr(MINSCORE))
        f.write("unknown: un:Unknown\n")
        for lm in lms:
            f.write(lm + "\n")
    langs = sorted({lm.split("-", 1)[0] for lm in lms})
    with open(os.path.join(data, "langname.cfg"), "w") as f:
        f.write("# Display names of the language identifiers (one word each).\n")
        for lang in langs:
            f.write("%s %s\n" % (lang, LANGS[lang]["name"]))


BEGIN = "<!-- training-text table: written by scripts/build_data.sh -->"
END = "<!-- end of training-text table -->"


def sources_table(data):
    """Refresh the per-language training-text table of DATA/SOURCES.md from prepare's report."""
    report = os.path.join(os.path.dirname(__file__), "..", "work", "prepare-report.txt")
    path = os.path.join(data, "SOURCES.md")
    if not os.path.exists(report) or not os.path.exists(path):
        return
    rows = {}
    with open(report) as f:
        for line in f:
            lang, textdir, cs, src, size = line.rstrip("\n").split("\t")
            # Every charset of a text takes the same lines before conversion.
            rows.setdefault(textdir, {}).setdefault(cs, {})[src] = int(size)
    sources = [s for s in SOURCE_GENRE if any(s in v for r in rows.values() for v in r.values())]
    lms = sorted(f for f in os.listdir(data) if f.endswith(".lm"))
    lines = [BEGIN, "",
             "Training text per language: kB of UTF-8 text each source gives every profile of "
             "the language (after cleaning, de-duplication and the caps), the total, and the "
             "number of genres:", "",
             "| language | profiles | " + " | ".join(sources) + " | total | genres |",
             "|---|---|" + "---|" * len(sources) + "---|---|"]
    for textdir in sorted(rows):
        base = textdir.split("-")[0]
        profs = sorted(rows[textdir])
        used = rows[textdir][profs[0]]
        label = base + " (Latin letters)" if textdir.endswith("-latn") else base
        genres = {SOURCE_GENRE[s] for s, v in used.items() if v}
        lines.append("| %s | %s | %s | %d | %d |" % (
            label, " ".join(p for p in profs if "%s-%s.lm" % (base, p) in lms),
            " | ".join(("%d" % round(used[s] / 1000)) if used.get(s) else "" for s in sources),
            round(sum(used.values()) / 1000), len(genres)))
    lines += ["", END]
    with open(path) as f:
        text = f.read()
    if BEGIN in text:
        text = text[:text.index(BEGIN)] + "\n".join(lines) + text[text.index(END) + len(END):]
    else:
        text = text.rstrip("\n") + "\n\n" + "\n".join(lines) + "\n"
    with open(path, "w") as f:
        f.write(text)


def main():
    if sys.argv[1] == "--profiles":
        only = set(sys.argv[2:])
        for lang, textdir, cs in profiles():
            if not only or lang in only:
                print(lang, LANGS[lang]["name"], cs, textdir)
    elif sys.argv[1] == "--write":
        write(sys.argv[2])
        sources_table(sys.argv[2])


if __name__ == "__main__":
    main()
