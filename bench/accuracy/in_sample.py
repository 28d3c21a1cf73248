#!/usr/bin/env python3
"""How the close languages fare on the very text their profiles learned from.

  bench/accuracy/in_sample.py [--glotta PATH] [--data DIR] [--length N] [--count N] [LANG...]

Cuts pieces of N bytes (default 256) from the UTF-8 training text of each language's profile
(scripts/work/samples/<lang>-utf8/, written by scripts/data/prepare.py, as build_data.sh leaves
it), spread over the language's sources as make_samples.py spreads its samples, runs the tool
over them with the shipped data of DIR (default data/) and prints, per language, how many
pieces are answered right and what the others are taken for.

Nothing here is held out: a profile has seen every piece. A language that falls short here
is not told from its neighbour even on its own training text, which no held-out text is
expected to beat; these figures are not the accuracy of bench/ACCURACY.md, which measures text
from sources the profiles never saw.
"""
import argparse
import collections
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
import make_samples  # noqa: E402 (also puts scripts/data on the path)
import run  # noqa: E402
from langs import GROUPS  # noqa: E402


def display_names(data):
    names = {}
    with open(os.path.join(data, "langname.cfg"), encoding="utf-8") as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2 and not line.startswith("#"):
                names[parts[0]] = parts[1]
    return names


def pieces_of(samples, lang, length, count):
    """Up to `count` pieces of the language's UTF-8 training text, spread over its sources."""
    folder = os.path.join(samples, "%s-utf8" % lang)
    if not os.path.isdir(folder):
        return []
    paths = sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".txt"))
    out = []
    for i, path in enumerate(paths):
        share = count // len(paths) + (1 if i < count % len(paths) else 0)
        for _, _, piece in make_samples.samples_for([path], "in-sample|" + lang, "utf8",
                                                    {length: share}):
            out.append(piece)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--glotta", default=os.path.join(ROOT, "build", "prefix", "bin", "glotta"))
    ap.add_argument("--data", default=os.path.join(ROOT, "data"))
    ap.add_argument("--samples", default=os.path.join(ROOT, "scripts", "work", "samples"))
    ap.add_argument("--length", type=int, default=256)
    ap.add_argument("--count", type=int, default=600, help="pieces per language")
    ap.add_argument("langs", nargs="*")
    a = ap.parse_args()
    langs = a.langs or [lang for group in GROUPS for lang in group]
    names = display_names(a.data)
    with tempfile.TemporaryDirectory() as tmp:
        where = {}
        for lang in langs:
            for i, piece in enumerate(pieces_of(a.samples, lang, a.length, a.count)):
                path = os.path.join(tmp, "%s.%d" % (lang, i))
                with open(path, "wb") as f:
                    f.write(piece)
                where[path] = lang
        if not where:
            sys.exit("in_sample: no training text under %s; run scripts/build_data.sh" %
                     a.samples)
        run.WORK = tmp
        answers = run.run_glotta(a.glotta, a.data, sorted(where), "in-sample")
    got = collections.defaultdict(collections.Counter)
    for path, lang in where.items():
        got[lang][answers.get(path, ["un"])[0]] += 1
    print("| language | pieces of %d bytes | right (%%) | taken for |" % a.length)
    print("|---|---|---|---|")
    for lang in langs:
        if not got[lang]:
            continue
        n = sum(got[lang].values())
        right = got[lang][names.get(lang, lang)]
        wrong = ", ".join("%s (%d)" % (k, v) for k, v in got[lang].most_common(4)
                          if k != names.get(lang, lang))
        print("| %s | %d | %.1f | %s |" % (lang, n, 100.0 * right / n, wrong))


if __name__ == "__main__":
    main()
