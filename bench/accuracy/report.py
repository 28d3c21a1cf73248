#!/usr/bin/env python3
"""Summarise the cross-genre benchmark (bench/work/accuracy/results.tsv and junk.tsv) into
bench/work/accuracy/ACCURACY.md: the hand-written preface.md, then the tables. With --publish the
report becomes bench/ACCURACY.md and its summary replaces the part of README.md between the
accuracy markers.

usage: report.py [--publish]   (run.py calls it at the end of a run)
"""
import codecs
import datetime
import json
import os
import shutil
import subprocess
import sys
import textwrap
from collections import Counter, defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(ROOT, "bench", "work", "accuracy")
sys.path.insert(0, os.path.join(ROOT, "scripts", "data"))
sys.path.insert(0, HERE)
import calibrate  # noqa: E402
import langs as langs_module  # noqa: E402

CODECS = langs_module.CODECS
SOURCE_GENRE = getattr(langs_module, "SOURCE_GENRE", {})
LENGTHS = (64, 256, 1024, 2048)
GOAL_256 = 97.0
README_BEGIN = "<!-- accuracy tables: written by bench/accuracy/report.py -->"
README_END = "<!-- end of accuracy tables -->"

PEER_CODES = {"iw": "he", "no": "nb", "zh-Hant": "zt", "zh-TW": "zt", "zh-CN": "zh",
              "sh": "sr", "fil": "tl", "in": "id", "ji": "yi", "jw": "jv",
              "un": "un", "xxx": "un", "SHORT": "un", "UNKNOWN": "un"}
# The groups of close languages the data scripts train alike.
GROUPS = {"/".join(g): set(g) for g in getattr(langs_module, "GROUPS", [])}
FAMILIES = {
    "western": {"1252", "iso-8859-1", "iso-8859-15", "ascii", "windows-1252", "850", "ibm850",
                "437", "ibm437"},
    "central": {"1250", "iso-8859-2", "windows-1250", "852", "ibm852"},
    "baltic": {"1257", "iso-8859-13", "iso-8859-4", "windows-1257", "775", "ibm775"},
    "turkish": {"1254", "iso-8859-9", "windows-1254", "857", "ibm857"},
    "cyrillic": {"1251", "koi8-r", "koi8-u", "iso-8859-5", "866", "ibm866", "mac-cyrillic",
                 "windows-1251", "ibm855", "855"},
    "arabic": {"1256", "iso-8859-6", "windows-1256"},
    "greek": {"1253", "iso-8859-7", "windows-1253", "737", "ibm737", "869", "ibm869"},
    "hebrew": {"1255", "iso-8859-8", "windows-1255", "862", "ibm862"},
    "thai": {"874", "tis-620", "iso-8859-11", "windows-874"},
    "vietnamese": {"1258", "windows-1258"},
    "japanese": {"sjis", "shift_jis", "euc-jp", "iso-2022-jp"},
    "chinese-simplified": {"gb", "gb18030", "gb2312", "euc-gb", "hz-gb-2312"},
    "chinese-traditional": {"big5", "euc-tw"},
    "korean": {"euc-ksc", "euc-kr", "uhc", "ksc", "iso-2022-kr"},
    "unicode": {"utf8", "utf-8"},
}
UCHARDET = {"windows-1252": "1252", "windows-1250": "1250", "windows-1251": "1251",
            "windows-1253": "1253", "windows-1254": "1254", "windows-1255": "1255",
            "windows-1256": "1256", "windows-1257": "1257", "windows-1258": "1258",
            "ibm866": "866", "ibm855": "855", "ibm852": "852", "ibm850": "850", "ibm437": "850",
            "ibm862": "862", "ibm775": "775", "ibm737": "737", "ibm869": "869",
            "ibm857": "857", "shift_jis": "sjis",
            "gb18030": "gb", "euc-kr": "euc-ksc", "uhc": "euc-ksc", "utf-8": "utf8",
            "tis-620": "874", "windows-874": "874"}
VARIANTS = (("utf8", "UTF-8 text"), ("legacy", "legacy-charset bytes"),
            ("html", "UTF-8 HTML"), ("docx", "Word (DOCX)"), ("pdf", "PDF (pango)"),
            ("htmlcs", "legacy HTML declaring its charset"))


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
    with open(path, "rb") as f:
        data = f.read()
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
    return PEER_CODES.get(code, code.split("-")[0])


def pct(a, b):
    return "%.1f" % (100.0 * a / b) if b else "-"


def rate(sel, key):
    return pct(sum(r[key] == r["lang"] for r in sel), len(sel))


def value(sel, key):
    return 100.0 * sum(r[key] == r["lang"] for r in sel) / len(sel) if sel else None


def load(results):
    rows = []
    with open(results) as f:
        cols = f.readline().rstrip("\n").split("\t")
        for line in f:
            r = dict(zip(cols, line.rstrip("\n").split("\t")))
            r["length"] = int(r["length"])
            r["cld"], r["cat"] = peer(r["cld"]), peer(r["cat"])
            r["ud"] = UCHARDET.get(r["ud"].lower(), r["ud"].lower())
            rows.append(r)
    return rows


def load_junk(path):
    rows, shipped, before = [], None, None
    with open(path) as f:
        head = f.readline().rstrip("\n").split("\t")
        shipped = float(head[2])
        if head[5] != "-":
            before = float(head[5])
        for line in f:
            kind, _, lang, score, blang, bscore = line.rstrip("\n").split("\t")
            s = -1.0 if lang in ("un", "err") else float(score)
            b = None if bscore == "-" else (-1.0 if blang in ("un", "err") else float(bscore))
            rows.append((kind, lang, s, blang, b))
    return rows, shipped, before


def table(out, head, rows):
    out.append("| " + " | ".join(head) + " |")
    out.append("|" + "---|" * len(head))
    for r in rows:
        out.append("| " + " | ".join(str(x) for x in r) + " |")
    out.append("")


def by_length(rows, variant, key):
    return [value([r for r in rows if r["variant"] == variant and r["length"] == n], key)
            for n in LENGTHS]


def fmt(vals):
    return " / ".join("-" if v is None else "%.1f" % v for v in vals)


def headline(rows):
    """[(label, glotta values, peer name, peer values)] by length."""
    out = []
    for variant, label in VARIANTS:
        if not any(r["variant"] == variant for r in rows):
            continue
        legacy = variant in ("legacy", "htmlcs")
        peer_name = "uchardet + iconv + CLD2" if legacy else "CLD2"
        if variant in ("docx", "pdf"):
            peer_name = "CLD2 on the plain text"
        out.append((label, by_length(rows, variant, "g"), peer_name,
                    by_length(rows, variant, "cld"), by_length(rows, variant, "cat")))
    return out


def language_table(rows):
    """[(language, {(variant, length): value}, cld2 256, wrong answers)]."""
    out = []
    for lang in sorted({r["lang"] for r in rows}):
        mine = [r for r in rows if r["lang"] == lang and r["variant"] in ("utf8", "legacy")]
        vals = {}
        for v in ("utf8", "legacy"):
            for n in LENGTHS:
                vals[(v, n)] = value([r for r in mine if r["variant"] == v and r["length"] == n],
                                     "g")
            vals[(v, "n256")] = sum(1 for r in mine if r["variant"] == v and r["length"] == 256)
        worst = None
        for cs in sorted({r["cs"] for r in mine if r["variant"] == "legacy"}):
            x = value([r for r in mine if r["cs"] == cs and r["length"] == 256 and
                       r["variant"] == "legacy"], "g")
            if x is not None and (worst is None or x < worst[1]):
                worst = (cs, x)
        cld = value([r for r in mine if r["variant"] == "utf8" and r["length"] == 256], "cld")
        wrong = Counter(r["g"] for r in mine if r["g"] != lang)
        out.append((lang, vals, worst, cld, wrong))
    return out


def below_goal(langtab):
    """Languages under the 256-byte goal in UTF-8 or in some legacy charset."""
    out = []
    for lang, vals, worst, _, wrong in langtab:
        low = [x for x in (vals[("utf8", 256)], worst[1] if worst else None) if x is not None]
        if low and min(low) < GOAL_256:
            out.append((lang, vals[("utf8", 256)], worst, wrong))
    return out


def training_kb():
    """{language: kB of training text of its largest profile}, from the data build's
    scripts/work/prepare-report.txt (language, text directory, charset, source, bytes)."""
    per = defaultdict(int)
    path = os.path.join(ROOT, "scripts", "work", "prepare-report.txt")
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                lang, textdir, cs, _, size = line.rstrip("\n").split("\t")
                per[(lang, textdir, cs)] += int(size)
    out = {}
    for (lang, _, _), size in per.items():
        out[lang] = max(out.get(lang, 0), (size + 500) // 1000)
    return out


def group_rows(rows):
    out = []
    for gname, members in GROUPS.items():
        sel = [r for r in rows if r["lang"] in members and r["variant"] in ("utf8", "legacy")]
        if not sel:
            out.append((gname, 0, None, None, None, None))
            continue
        ex = value(sel, "g")
        cl = value(sel, "cld")
        mg = 100.0 * sum(r["g"] in members for r in sel) / len(sel)
        cm = 100.0 * sum(r["cld"] in members for r in sel) / len(sel)
        out.append((gname, len(sel), ex, mg, cl, cm))
    return out


def commit_line(glotta, data):
    def git(*args):
        p = subprocess.run(["git", "-C", ROOT] + list(args), capture_output=True, text=True)
        return p.stdout.strip()
    head = git("rev-parse", "--short=10", "HEAD")
    dirty = git("status", "--porcelain", "--", os.path.relpath(data, ROOT), "bench/accuracy",
                "scripts/data")
    banner = subprocess.run([glotta], capture_output=True, text=True).stdout.splitlines()
    return head + (" (with uncommitted changes)" if dirty else ""), (banner[0] if banner else "")


def main(publish=False):
    with open(os.path.join(WORK, "meta.json")) as f:
        meta = json.load(f)
    data, glotta, seconds = meta["data"], meta["glotta"], meta["seconds"]
    rows = load(os.path.join(WORK, "results.tsv"))
    junkrows, shipped_ms, before_ms = load_junk(os.path.join(WORK, "junk.tsv"))
    commit, banner = commit_line(glotta, data)
    when = datetime.datetime.fromtimestamp(os.path.getmtime(os.path.join(WORK, "results.tsv")),
                                           datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    sources = sorted({r["source"] for r in rows})
    langs = sorted({r["lang"] for r in rows})
    sys.path.insert(0, HERE)
    import folds
    _, single = folds.folds(folds.layout())

    out = ["# Tables", ""]
    out.append(textwrap.fill(
               "Measured %s on commit %s (tool: %s; %s s on this machine). %d samples of %d "
               "languages from %d left-out sources (%s). Peers on the same files in the same "
               "run: CLD2, libexttextcat with its own fingerprints, and uchardet + iconv before "
               "them for legacy bytes." % (when, commit, banner, seconds, len(rows), len(langs),
                                           len(sources), ", ".join(sources)), 100))
    out.append("")
    if single:
        out.append("Not measured (one source only, nothing to leave out): " + ", ".join(
            "%s (%s)" % (t, s) for t, s in sorted(single.items())) + ".")
        out.append("")
    if meta.get("untrained"):
        out.append("Not measured on a source that is all of their training text: " + ", ".join(
            "%s (%s)" % (t, s) for s, t in meta["untrained"]) + ".")
        out.append("")

    # Goals.
    langtab = language_table(rows)
    low = below_goal(langtab)
    groups = group_rows(rows)
    head = headline(rows)
    samples = [(r["lang"], r["cs"], r["length"], r["top"],
                -1.0 if r["top"] in ("un", "-", "err") else float(r["topscore"]))
               for r in rows if r["variant"] in ("utf8", "legacy") and r["length"] <= 256 and
               r["top"] != "-"]
    cjk64 = [s for s in samples if s[2] == 64 and s[1] in calibrate.CJK]
    cjk_answered = calibrate.share(calibrate.answered(s[4], shipped_ms) for s in cjk64)
    named_un = calibrate.share(not calibrate.answered(s, shipped_ms)
                               for k, _, s, _, _ in junkrows if k in calibrate.NAMED)
    named_before = (calibrate.share(not calibrate.answered(b, before_ms)
                                    for k, _, _, _, b in junkrows if k in calibrate.NAMED)
                    if before_ms is not None and all(b is not None for *_, b in junkrows)
                    else None)

    def ok(flag):
        return "yes" if flag else "**no**"
    goals = []
    for label, g, pname, p, _ in head:
        if label in ("UTF-8 text", "legacy-charset bytes"):
            met = all(a is not None and b is not None and a >= b for a, b in zip(g, p))
            goals.append(("%s: language at every length ≥ %s" % (label, pname),
                          fmt(g), fmt(p), ok(met)))
    goals.append(("no language below %.0f %% at 256 bytes (UTF-8 and each legacy charset)" %
                  GOAL_256, "%d below" % len(low), "", ok(not low)))
    for gname, n, ex, _, cl, _ in groups:
        if n:
            goals.append(("group %s exact ≥ CLD2's" % gname, "%.1f" % ex, "%.1f" % cl,
                          ok(ex >= cl)))
        else:
            goals.append(("group %s exact ≥ CLD2's" % gname, "not measured", "", "**no**"))
    goals.append(("CJK in gb, big5, sjis, euc-jp at 64 bytes answered ≥ 90 %",
                  "%.1f" % cjk_answered, "", ok(cjk_answered >= 90)))
    goals.append(("named junk \"un\" at least as often as before",
                  "%.1f" % named_un, "-" if named_before is None else "%.1f (before)" %
                  named_before, ok(named_before is None or named_un >= named_before)))
    out.append("## Goals")
    out.append("")
    table(out, ["goal", "glotta", "peer / before", "met"], goals)

    out.append("## Language accuracy (%) by length: 64 / 256 / 1024 / 2048 bytes")
    out.append("")
    table(out, ["samples", "n", "glotta", "peer", "peer's figure", "libexttextcat (same input)"],
          [(label, sum(1 for r in rows if r["variant"] == v), fmt(g), pname, fmt(p), fmt(c))
           for (v, _), (label, g, pname, p, c) in
           zip([x for x in VARIANTS if any(r["variant"] == x[0] for r in rows)], head)])

    out.append("## Languages below %.0f %% at 256 bytes" % GOAL_256)
    out.append("")
    if low:
        kb = training_kb()
        table(out, ["language", "training text (kB)", "UTF-8 at 256",
                    "worst legacy charset at 256", "most frequent wrong answers (all lengths)"],
              [(lang, kb.get(lang, "-"), "-" if u is None else "%.1f" % u,
                "%s %.1f" % w if w else "-",
                ", ".join("%s (%d)" % kv for kv in wrong.most_common(3)))
               for lang, u, w, wrong in low])
    else:
        out += ["None.", ""]

    out.append("## Confusable groups (UTF-8 and legacy, all lengths)")
    out.append("")
    table(out, ["group", "n", "glotta exact", "glotta within group", "CLD2 exact",
                "CLD2 within group"],
          [(g, n) + tuple("-" if x is None else "%.1f" % x for x in vals)
           for g, n, *vals in groups])

    out.append("## Minimum score: short CJK text against junk")
    out.append("")
    out.append("Best candidate of every 64- and 256-byte cross-genre sample (UTF-8 and legacy) "
               "and of %d junk texts, scored with minscore 0: at minscore m the answer is that "
               "candidate when its score (printed to two decimals) is at least m, else \"un\"." %
               len(junkrows))
    out.append("")
    out += calibrate.tradeoff(samples, junkrows, shipped_ms, before_ms)
    out.append("")

    out.append("## By language (UTF-8 and legacy, %)")
    out.append("")
    table(out, ["language", "UTF-8 n at 256", "UTF-8 64 / 256 / 1024 / 2048", "legacy n at 256",
                "legacy 64 / 256 / 1024 / 2048", "worst legacy charset at 256", "CLD2 UTF-8 256",
                "most frequent wrong answers"],
          [(lang, vals[("utf8", "n256")], fmt([vals[("utf8", n)] for n in LENGTHS]),
            vals[("legacy", "n256")], fmt([vals[("legacy", n)] for n in LENGTHS]),
            "%s %.1f" % worst if worst else "-", "-" if cld is None else "%.1f" % cld,
            ", ".join("%s (%d)" % kv for kv in wrong.most_common(3)))
           for lang, vals, worst, cld, wrong in langtab])

    out.append("## By left-out source (UTF-8 and legacy, %)")
    out.append("")
    srows = []
    for s in sources:
        sel = [r for r in rows if r["source"] == s and r["variant"] in ("utf8", "legacy")]
        srows.append((s, SOURCE_GENRE.get(s, "-"), len({r["lang"] for r in sel}), len(sel),
                      fmt([value([r for r in sel if r["length"] == n], "g") for n in LENGTHS]),
                      fmt([value([r for r in sel if r["length"] == n], "cld")
                           for n in LENGTHS])))
    table(out, ["source", "genre", "languages", "n", "glotta 64 / 256 / 1024 / 2048",
                "CLD2 (uchardet + iconv for legacy)"], srows)

    out.append("## Confusion pairs (UTF-8 and legacy, all lengths)")
    out.append("")
    pairs = Counter((r["lang"], r["g"]) for r in rows
                    if r["variant"] in ("utf8", "legacy") and r["g"] != r["lang"])
    per_lang = Counter(r["lang"] for r in rows if r["variant"] in ("utf8", "legacy"))
    cld_pairs = Counter((r["lang"], r["cld"]) for r in rows
                        if r["variant"] in ("utf8", "legacy") and r["cld"] != r["lang"])
    table(out, ["language", "taken for", "samples", "% of the language's", "CLD2 same mistake"],
          [(a, b, n, pct(n, per_lang[a]), cld_pairs.get((a, b), 0))
           for (a, b), n in pairs.most_common(30)])

    # Charsets.
    out.append("## Charset of legacy-charset samples")
    out.append("")
    out.append("Exact: the charset name itself; family: the same group of charsets (western, "
               "central European, Baltic, Cyrillic, ...); decodes: reading the bytes in the "
               "reported charset gives exactly the original text (pure ASCII reads the same in "
               "every charset here and is answered \"1252\").")
    out.append("")
    leg = [r for r in rows if r["variant"] in ("legacy", "htmlcs")]
    for r in leg:
        r["gdec"] = decodes_same(r["path"], r["cs"], r["gcs"])
        r["udec"] = decodes_same(r["path"], r["cs"], r["ud"])

    def charset_row(label, sel):
        n = len(sel)
        return (label, n, rate(sel, "g"),
                pct(sum(r["gcs"] == r["cs"] for r in sel), n),
                pct(sum(family(r["gcs"]) == family(r["cs"]) for r in sel), n),
                pct(sum(r["gdec"] for r in sel), n),
                pct(sum(r["ud"] == r["cs"] for r in sel), n),
                pct(sum(family(r["ud"]) == family(r["cs"]) for r in sel), n),
                pct(sum(r["udec"] for r in sel), n), rate(sel, "cld"))
    chead = ["charset", "n", "glotta language", "glotta exact", "glotta family",
             "glotta decodes", "uchardet exact", "uchardet family", "uchardet decodes",
             "uchardet + iconv + CLD2 language"]
    plain = [r for r in leg if r["variant"] == "legacy"]
    crows = [charset_row(cs, [r for r in plain if r["cs"] == cs])
             for cs in sorted({r["cs"] for r in plain})]
    if plain:
        crows.append(charset_row("**all**", plain))
        crows += [charset_row("**all, %d bytes**" % n, [r for r in plain if r["length"] == n])
                  for n in LENGTHS]
    hc = [r for r in leg if r["variant"] == "htmlcs"]
    if hc:
        crows.append(charset_row("**all, HTML declaring its charset**", hc))
    table(out, chead, crows)

    text = "\n".join(out) + "\n"
    with open(os.path.join(HERE, "preface.md")) as f:
        preface = f.read().rstrip("\n")
    dest = os.path.join(WORK, "ACCURACY.md")
    with open(dest, "w") as f:
        f.write(preface + "\n\n" + text)
    print("report: wrote %s" % dest, file=sys.stderr)

    summary = readme_tables(head, groups, low, commit, when, len(rows), len(langs), sources,
                            cjk_answered, named_un, named_before, shipped_ms, single)
    with open(os.path.join(WORK, "README-tables.md"), "w") as f:
        f.write(summary)
    if publish:
        shutil.copy(dest, os.path.join(ROOT, "bench", "ACCURACY.md"))
        path = os.path.join(ROOT, "README.md")
        with open(path) as f:
            text = f.read()
        a, b = text.index(README_BEGIN), text.index(README_END)
        with open(path, "w") as f:
            f.write(text[:a] + README_BEGIN + "\n" + summary + text[b:])
        print("report: wrote bench/ACCURACY.md and the accuracy tables of README.md",
              file=sys.stderr)


def readme_tables(head, groups, low, commit, when, nrows, nlangs, sources, cjk_answered,
                  named_un, named_before, shipped_ms, single):
    def para(text):
        return textwrap.fill(text, 100, break_on_hyphens=False)
    out = [para("Cross-genre: every sample comes from a source that trained none of the profiles "
                "it is compared with (leave one source out, rotate; `bench/accuracy/run.sh`). "
                "Measured %s on commit %s: %d samples of %d languages, left-out sources %s; "
                "peers on the same files in the same run.%s" % (
                    when, commit, nrows, nlangs, ", ".join(sources),
                    " Not measured (one source only): %s." % " ".join(sorted(single))
                    if single else "")), ""]
    table(out, ["Language right (%) at 64 / 256 / 1024 / 2048 bytes", "glotta", "peer",
                "peer's figure"],
          [(label, fmt(g), pname, fmt(p)) for label, g, pname, p, _ in head])
    table(out, ["Confusable group", "glotta exact", "glotta within group", "CLD2 exact"],
          [(g, "-" if ex is None else "%.1f" % ex, "-" if mg is None else "%.1f" % mg,
            "-" if cl is None else "%.1f" % cl) for g, n, ex, mg, cl, _ in groups])
    if low:
        kb = training_kb()
        out.append(para("Below %.0f %% at 256 bytes (UTF-8 / worst legacy charset, and the kB of "
                        "training text of the language's largest profile): " % GOAL_256 +
                        ", ".join("%s %s / %s (%s kB)" % (lang, "-" if u is None else "%.1f" % u,
                                                          "%s %.1f" % w if w else "-",
                                                          kb.get(lang, "-"))
                                  for lang, u, w, _ in low) + "."))
    else:
        out.append("No language is below %.0f %% at 256 bytes." % GOAL_256)
    out.append("")
    out.append(para("With `minscore: %.2f`, Chinese and Japanese in gb, big5, sjis and euc-jp are "
                    "answered at 64 bytes in %.1f %% of the samples, and digits, random letters "
                    "and keyboard mash answer \"un\" in %.1f %% of the cases%s; the trade-off "
                    "table is in `bench/ACCURACY.md`." % (
                        shipped_ms, cjk_answered, named_un, "" if named_before is None else
                        " (%.1f %% before)" % named_before)))
    out.append("")
    return "\n".join(out)


if __name__ == "__main__":
    main(publish="--publish" in sys.argv)
