#!/usr/bin/env python3
"""Profiles to train, and the language list and language-name files of the data directory.

  write_config.py --profiles [LANG...]   print "id display-name charset text-dir" per profile
  write_config.py --write DATA           write DATA/langlist.cfg and DATA/langname.cfg for the
                                         profiles (*.lm) present in DATA
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from langs import LANGS  # noqa: E402
from prepare import profiles  # noqa: E402

# Settings of the n-gram classifier, chosen with bench/accuracy/calibrate.py: text of MINSIZE
# bytes or fewer is not classified, and a profile must score at least MINSCORE to be reported.
MINSIZE = 0
MINSCORE = 0.0

# The list order breaks ties between equal scores: more widely used languages first, and
# within a confusable group the language that more text is written in.
PRIORITY = ("en es fr de pt ru it nl ja zh ko ar tr pl sv da nb fi cs hu ro el he th uk id vi "
            "fa hi ca hr sr sk bg zt gl nn bs ms sl lt lv et is eu sq mk be ur mr ne sw af tl "
            "lb cy ga eo mt az").split()
CHARSET_ORDER = ["utf8", "1252", "1250", "iso-8859-2", "1257", "1254", "1251", "koi8-r",
                 "iso-8859-5", "866", "1256", "1253", "iso-8859-7", "1255", "iso-8859-8", "874",
                 "sjis", "euc-jp", "gb", "big5", "euc-ksc"]


def order_key(name):
    lang, cs = name[:-3].split("-", 1)
    p = PRIORITY.index(lang) if lang in PRIORITY else len(PRIORITY)
    c = CHARSET_ORDER.index(cs) if cs in CHARSET_ORDER else len(CHARSET_ORDER)
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


def main():
    if sys.argv[1] == "--profiles":
        only = set(sys.argv[2:])
        for lang, textdir, cs in profiles():
            if not only or lang in only:
                print(lang, LANGS[lang]["name"], cs, textdir)
    elif sys.argv[1] == "--write":
        write(sys.argv[2])


if __name__ == "__main__":
    main()
