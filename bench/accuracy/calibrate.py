#!/usr/bin/env python3
"""The minimum score, measured: short real text answered against junk answered "un".

Junk: digits only, random letters (ASCII, Latin-1 accented, Cyrillic), keyboard mash, random
high bytes; generated here from a fixed seed. run.py runs the tool over it, and over the
benchmark's short samples, with minscore 0, so that the best candidate's score shows; an answer
at minscore m is then that candidate when its score is at least m, else "un" (a text of
minsize bytes or fewer is "un" at every m). report.py prints the resulting table.

  calibrate.py DIR    write the junk texts into DIR and list them
"""
import os
import random
import sys

# The kinds of junk a user means by "not text"; the others are shown apart.
NAMED = ("digits", "random-ascii", "keyboard-mash")
# Chinese and Japanese in their multi-byte legacy charsets: the short texts that must be
# answered.
CJK = ("gb", "big5", "sjis", "euc-jp")


def junk():
    rng = random.Random(20261205)
    out = []
    rows = ["qwertyuiop", "asdfghjkl", "zxcvbnm", "1234567890"]
    for i in range(40):
        n = rng.randint(8, 120)
        out.append(("digits", " ".join(str(rng.randint(0, 10**rng.randint(1, 8)))
                                       for _ in range(n // 5 + 1)).encode()[:n]))
    def random_words(letter):
        """Words of 2 to 10 letters drawn by `letter()`, 40 to 200 characters in all."""
        n = rng.randint(40, 200)
        words = []
        while sum(len(w) + 1 for w in words) < n:
            words.append("".join(letter() for _ in range(rng.randint(2, 10))))
        return " ".join(words).encode("utf-8")

    for i in range(80):
        out.append(("random-ascii", random_words(lambda: rng.choice("abcdefghijklmnopqrstuvwxyz"))))
    for i in range(40):
        out.append(("random-latin1",
                    random_words(lambda: rng.choice("abcdefghijklmnopqrstuvwxyzäöüéèàçñ"))))
    for i in range(40):
        out.append(("random-cyrillic", random_words(lambda: chr(rng.randint(0x430, 0x44F)))))
    for i in range(80):
        n = rng.randint(40, 200)
        parts = []
        while sum(len(p) + 1 for p in parts) < n:
            row = rng.choice(rows[:3])
            a = rng.randint(0, len(row) - 3)
            run = row[a:a + rng.randint(3, len(row) - a)]
            if rng.random() < 0.5:
                run = run[::-1]
            parts.append(run * rng.randint(1, 2))
        out.append(("keyboard-mash", " ".join(parts).encode()))
    for i in range(40):
        n = rng.randint(40, 200)
        out.append(("random-bytes", bytes(rng.choice([rng.randint(0x80, 0xFF),
                                                       rng.randint(0x61, 0x7A), 0x20])
                                          for _ in range(n))))
    return out



def write_junk(dest):
    """Write every junk text to dest; [(kind, path)]."""
    os.makedirs(dest, exist_ok=True)
    out = []
    for i, (kind, data) in enumerate(junk()):
        p = os.path.join(dest, "%s-%03d.txt" % (kind, i))
        with open(p, "wb") as f:
            f.write(data)
        out.append((kind, p))
    return out


def answered(score, ms):
    """Whether a best candidate with this printed score (two decimals) is kept at minscore
    ms; "-1" stands for an unknown answer."""
    return score >= 0 and score >= ms - 1e-9


def share(flags):
    flags = list(flags)
    return 100.0 * sum(flags) / len(flags) if flags else float("nan")


def tradeoff(samples, junkrows, shipped, before):
    """Markdown lines of the minscore table.

    samples: (language, charset, length, best language, best score) of the short plain-text
    samples; junkrows: (kind, best language, best score, best language before, best score
    before); shipped and before: the minscore of the shipped and the earlier list."""
    steps = sorted({x / 100 for x in range(0, 41, 2)} | {shipped})
    kinds = sorted({k for k, _, _, _, _ in junkrows})
    head = ("| minscore | " + " | ".join("junk %s \"un\"" % k for k in NAMED) +
            " | named junk \"un\" | other junk \"un\" | CJK legacy 64 B answered | "
            "CJK legacy 64 B right | " + " | ".join("%s 64 B answered" % c for c in CJK) +
            " | all 64 B right | all 256 B right |")
    out = [head, "|" + "---|" * (head.count("|") - 1)]

    def cjk(c=None):
        return [s for s in samples if s[2] == 64 and (s[1] == c if c else s[1] in CJK)]
    for ms in steps:
        def un(k):
            return share(not answered(s, ms) for kk, _, s, _, _ in junkrows if kk == k)
        named = share(not answered(s, ms) for k, _, s, _, _ in junkrows if k in NAMED)
        other = share(not answered(s, ms) for k, _, s, _, _ in junkrows if k not in NAMED)
        row = ["**%.2f** (shipped)" % ms if abs(ms - shipped) < 1e-9 else "%.2f" % ms]
        row += ["%.1f" % un(k) for k in NAMED] + ["%.1f" % named, "%.1f" % other]
        row.append("%.1f" % share(answered(s[4], ms) for s in cjk()))
        row.append("%.1f" % share(answered(s[4], ms) and s[3] == s[0] for s in cjk()))
        row += ["%.1f" % share(answered(s[4], ms) for s in cjk(c)) for c in CJK]
        for n in (64, 256):
            row.append("%.1f" % share(answered(s[4], ms) and s[3] == s[0]
                                      for s in samples if s[2] == n))
        out.append("| " + " | ".join(row) + " |")
    if before is not None and all(sb is not None for _, _, _, _, sb in junkrows):
        named_before = share(not answered(sb, before)
                             for k, _, _, _, sb in junkrows if k in NAMED)
        out += ["", "Before (the earlier data at its minscore %.2f): named junk \"un\" %.1f %%, "
                "%s." % (before, named_before, ", ".join(
                    "%s %.1f %%" % (k, share(not answered(sb, before)
                                             for kk, _, _, _, sb in junkrows if kk == k))
                    for k in kinds))]
    return out


if __name__ == "__main__":
    for kind, path in write_junk(sys.argv[1]):
        print(kind, path)
