#!/usr/bin/env python3
"""Choose minsize and minscore of the shipped language list by measurement.

Real text: sentences of 40 to 160 bytes cut from the held-out development text of every
language (UTF-8, and in each legacy charset of the language's profiles). Junk: digits only,
random letters (ASCII, Latin-1 accented, Cyrillic), keyboard mash, random high bytes. For each
candidate setting the script reports how much junk answers "un" and how many real sentences
still get an answer (and the right one). The classification is that of ngram_model.py (a
model of the tool's plain-text n-gram path), or of the tool itself with --tool GLOTTA.

usage: calibrate.py DATA_DIR [--tool GLOTTA]   (writes bench/work/accuracy/calibrate.txt)
"""
import os
import random
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts", "data"))
sys.path.insert(0, HERE)
import ngram_model  # noqa: E402
from langs import CODECS, LANGS  # noqa: E402
from prepare import profiles, to_charset  # noqa: E402

TEXT = os.path.join(ROOT, "scripts", "work", "text")
PER_LANG = 12


def real_sentences():
    out = []
    for lang, textdir, cs in profiles():
        d = os.path.join(TEXT, textdir, "dev")
        if not os.path.isdir(d):
            continue
        sents = []
        for fn in sorted(os.listdir(d)):
            with open(os.path.join(d, fn), encoding="utf-8") as f:
                for par in f:
                    for s in re.split(r"(?<=[.!?。！？])\s+", par.strip()):
                        if 40 <= len(s.encode()) <= 160:
                            sents.append(s)
        rng = random.Random("%s|%s" % (textdir, cs))
        rng.shuffle(sents)
        n = 0
        for s in sents:
            conv = to_charset(s, cs)
            if conv is None:
                continue
            data = conv.encode(CODECS[cs])
            if len(data) < 40:
                continue
            out.append((lang, cs, data))
            n += 1
            if n >= PER_LANG:
                break
    return out


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


def model_results(data_dir, items):
    profs, _, _ = ngram_model.load(data_dir)
    res = []
    for data in items:
        cands = ngram_model.classify(data, profs)
        res.append((cands[0][0], cands[0][2], len(ngram_model.compact_exact(data))))
    return res


def tool_results(glotta, data_dir, items):
    """Best (language, score, compacted length) of each item from the tool, with the list's
    settings at 0 so that every score shows."""
    with tempfile.TemporaryDirectory(prefix="calibrate") as tmp:
        return tool_results_in(tmp, glotta, data_dir, items)


def tool_results_in(tmp, glotta, data_dir, items):
    data = os.path.join(tmp, "data")
    os.makedirs(data)
    for fn in os.listdir(data_dir):
        if fn.endswith(".lm"):
            os.symlink(os.path.join(os.path.abspath(data_dir), fn), os.path.join(data, fn))
    with open(os.path.join(data_dir, "langlist.cfg")) as f, \
            open(os.path.join(data, "langlist.cfg"), "w") as g:
        for line in f:
            if not line.lower().startswith(("minsize:", "minscore:")):
                g.write(line)
    open(os.path.join(data, "langname.cfg"), "w").write("#\n")
    paths = []
    for i, d in enumerate(items):
        p = os.path.join(tmp, "%05d.txt" % i)
        with open(p, "wb") as f:
            f.write(d)
        paths.append(p)
    with open(os.path.join(tmp, "list"), "w") as f:
        f.writelines(p + "\n" for p in paths)
    out = os.path.join(tmp, "out")
    subprocess.run([glotta, "-n", "1", "-data_path", data, "@" + os.path.join(tmp, "list"), out],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    res, cur = {}, None
    for line in open(out, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        if line.startswith("DOC_NAME:"):
            cur = line[9:]
            res[cur] = ["un", 0.0]
        elif line.startswith("LANGUAGE: "):
            res[cur][0] = line[10:]
        elif line.startswith("SCORE: "):
            res[cur][1] = float(line[7:])
    return [(res.get(p, ["un", 0.0])[0], res.get(p, ["un", 0.0])[1],
             len(ngram_model.compact_exact(d))) for p, d in zip(paths, items)]


def ties(data_dir):
    """How often the best two profiles of a benchmark sample score exactly the same, which is
    when the list order decides."""
    manifest = os.path.join(ROOT, "bench", "work", "accuracy", "manifest.tsv")
    if not os.path.exists(manifest):
        return []
    profs, _, _ = ngram_model.load(data_dir)
    n = same_lang = diff_lang = first_right = 0
    for line in open(manifest):
        path, lang, variant, cs, length, textdir = line.rstrip("\n").split("\t")
        if variant not in ("utf8", "legacy"):
            continue
        cands = ngram_model.classify(open(path, "rb").read(), profs)
        n += 1
        if len(cands) > 1 and cands[0][2] == cands[1][2]:
            if cands[0][0] == cands[1][0]:
                same_lang += 1
            else:
                diff_lang += 1
                first_right += cands[0][0] == lang
    return ["", "list order: of %d plain-text benchmark samples, %d have a tie at the top between "
            "two charsets of one language and %d between two languages (the first listed was "
            "right in %d of those)" % (n, same_lang, diff_lang, first_right)]


def cjk_ceiling(data_dir):
    """Scores of the benchmark's Chinese, Japanese and Korean legacy samples for their own
    language, by length: against the shipped profile, and against a profile trained on the
    held-out development text itself (the samples' own source documents). The second is the
    most any choice of training text could give."""
    manifest = os.path.join(ROOT, "bench", "work", "accuracy", "manifest.tsv")
    if not os.path.exists(manifest):
        return []
    import stopgap_train  # noqa: E402  (writes profiles exactly as the tool's training mode)
    profs, _, _ = ngram_model.load(data_dir)
    out = ["", "CJK legacy samples, score of the right profile by length (min / median), shipped "
           "profile and one trained on the held-out text itself:"]
    for lang, cs in (("zh", "gb"), ("zt", "big5"), ("ja", "sjis"), ("ko", "euc-ksc")):
        shipped = next((p for p in profs if p.lang == lang and p.charset == cs), None)
        dev = os.path.join(TEXT, lang, "dev")
        if shipped is None or not os.path.isdir(dev):
            continue
        with tempfile.TemporaryDirectory(prefix="calibrate") as tmp:
            text = os.path.join(tmp, "dev.txt")
            with open(text, "wb") as g:
                for fn in sorted(os.listdir(dev)):
                    for line in open(os.path.join(dev, fn), encoding="utf-8"):
                        conv = to_charset(line, cs)
                        if conv is not None:
                            g.write(conv.encode(CODECS[cs], "replace"))
            oracle = {}
            for g, _ in stopgap_train.train([text]):
                if g and g not in oracle:
                    oracle[g] = len(oracle) + 1
        by_len = {}
        for line in open(manifest):
            path, l, variant, c, length, _ = line.rstrip("\n").split("\t")
            if variant == "legacy" and l == lang and c == cs:
                doc = ngram_model.ranked(ngram_model.compact_exact(open(path, "rb").read()))
                by_len.setdefault(int(length), []).append(
                    (ngram_model.score(doc, shipped.ranks), ngram_model.score(doc, oracle)))
        for length in sorted(by_len):
            a = sorted(x for x, _ in by_len[length])
            b = sorted(y for _, y in by_len[length])
            out.append("  %-3s %-8s %5d bytes: shipped %.3f / %.3f   trained on held-out %.3f / %.3f"
                       % (lang, cs, length, a[0], a[len(a) // 2], b[0], b[len(b) // 2]))
    return out


def main():
    data_dir = sys.argv[1]
    reals, junks = real_sentences(), junk()
    if "--tool" in sys.argv:
        glotta = sys.argv[sys.argv.index("--tool") + 1]
        rr = tool_results(glotta, data_dir, [d for _, _, d in reals])
        jr = tool_results(glotta, data_dir, [d for _, d in junks])
    else:
        rr = model_results(data_dir, [d for _, _, d in reals])
        jr = model_results(data_dir, [d for _, d in junks])
    out = []
    out.append("classifier: %s" % ("glotta" if "--tool" in sys.argv else "ngram_model.py"))
    out.append("real sentences: %d from %d languages; junk: %d" % (
        len(reals), len({l for l, _, _ in reals}), len(junks)))
    out.append("")
    out.append("best score of junk by kind (max / median):")
    kinds = sorted({k for k, _ in junks})
    for k in kinds:
        sc = sorted(s for (kk, _), (_, s, _) in zip(junks, jr) if kk == k)
        out.append("  %-16s max %.3f  median %.3f  n=%d" % (k, sc[-1], sc[len(sc) // 2], len(sc)))
    sc = sorted(s for _, s, _ in rr)
    out.append("best score of real sentences: min %.3f  1%% %.3f  5%% %.3f  median %.3f" % (
        sc[0], sc[len(sc) // 100], sc[len(sc) // 20], sc[len(sc) // 2]))
    out.append("")
    # The kinds of junk a user means by "not text": digits, random letters, keyboard mash.
    # Random accented, Cyrillic and high-byte strings are reported apart.
    named = ("digits", "random-ascii", "keyboard-mash")
    # Chinese, Japanese and Korean in their multi-byte legacy charsets are words without
    # spaces: most of a short sentence's 3- to 5-byte n-grams span characters and are in no
    # profile, so such sentences score low whatever the profiles hold. They are shown apart.
    cjk = ("gb", "big5", "sjis", "euc-jp", "euc-ksc")

    def share(items, ms):
        return 100.0 * sum(1 for s in items if s < ms) / max(1, len(items))

    # An answer of "un" (text that compacts to nothing or to minsize bytes or fewer) counts as
    # a score below every threshold.
    jr = [(lang, -1.0 if lang == "un" else s, n) for lang, s, n in jr]
    rr = [(lang, -1.0 if lang == "un" else s, n) for lang, s, n in rr]
    by_kind = {k: [s for (kk, _), (_, s, _) in zip(junks, jr) if kk == k] for k in kinds}
    named_sc = [s for k in named for s in by_kind[k]]
    real_cjk = [s for (_, cs, _), (_, s, _) in zip(reals, rr) if cs in cjk]
    real_other = [s for (_, cs, _), (_, s, _) in zip(reals, rr) if cs not in cjk]
    out.append("junk answering \"un\" by kind, and real sentences answered (%), by minscore:")
    out.append("minscore  " + "  ".join("%-8s" % k[:8] for k in named) + "  named   " +
               "  ".join("%-8s" % k[:8] for k in kinds if k not in named) +
               "  all junk  real  real-not-CJK  real-CJK-legacy  real right")
    for ms in [x / 100 for x in range(0, 61, 2)]:
        right = sum(1 for (lang, _, _), (got, s, _) in zip(reals, rr) if s >= ms and got == lang)
        out.append("  %.2f    " % ms +
                   "  ".join("%6.1f  " % share(by_kind[k], ms) for k in named) +
                   "  %6.1f  " % share(named_sc, ms) +
                   "  ".join("%6.1f  " % share(by_kind[k], ms) for k in kinds if k not in named) +
                   "  %6.1f    %5.1f  %8.1f      %8.1f         %6.1f" % (
                       share([s for _, s, _ in jr], ms), 100 - share([s for _, s, _ in rr], ms),
                       100 - share(real_other, ms), 100 - share(real_cjk, ms),
                       100.0 * right / len(rr)))
    lens = sorted(n for _, _, n in rr)
    out.append("")
    out.append("compacted length of real 40+ byte sentences: min %d, 1%% %d" % (
        lens[0], lens[len(lens) // 100]))
    out += ties(data_dir)
    out += cjk_ceiling(data_dir)
    text = "\n".join(out) + "\n"
    os.makedirs(os.path.join(ROOT, "bench", "work", "accuracy"), exist_ok=True)
    with open(os.path.join(ROOT, "bench", "work", "accuracy", "calibrate.txt"), "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
