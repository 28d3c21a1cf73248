#!/usr/bin/env python3
"""Cross-genre accuracy benchmark: glotta, CLD2, libexttextcat and uchardet on text from
sources that trained nothing it is compared with.

  bench/accuracy/run.py [--glotta PATH] [--data DIR] [--fold SRC]... [--no-pdf]
                        [--baseline COMMIT] [--publish]

For every source S (folds.py) the profiles of the languages that have S are trained from all
their other sources with the tool's training mode, and those languages are tested on samples
cut from S (make_samples.py); the other profiles are the shipped ones of DIR (default data/),
which never saw S either. The tool runs over each fold's samples in one bulk run with the
shipped list's settings, and once more with minscore 0 over the short plain-text samples for
the minscore study (calibrate.py), which also measures junk against DIR and against the data of
COMMIT (default: the commit before the cross-genre data, for "as often as before"). The peers
(peers.cpp, built here) run over the same files in the same run. Writes
bench/work/accuracy/results.tsv, junk.tsv and the report bench/work/accuracy/ACCURACY.md
(report.py); --publish copies it to bench/ACCURACY.md and rewrites the accuracy tables of
README.md. run.sh runs it under `nice -n 10`. The PDF variant (make_pdf.py: some UTF-8 samples
laid out by pango and cairo) is added unless --no-pdf is given.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(ROOT, "bench", "work", "accuracy")
sys.path.insert(0, HERE)
import calibrate  # noqa: E402
import folds  # noqa: E402

# The data measured as "before" for junk: main before the cross-genre data landed.
BASELINE = "acfed3c"
COLUMNS = ["path", "lang", "variant", "cs", "length", "textdir", "source", "g", "gcs", "gscore",
           "top", "topscore", "cld", "cat", "ud"]


def read_manifest():
    rows = []
    with open(os.path.join(WORK, "manifest.tsv")) as f:
        for line in f:
            path, lang, variant, cs, length, textdir, source = line.rstrip("\n").split("\t")
            rows.append(dict(path=path, lang=lang, variant=variant, charset=cs,
                             length=int(length), textdir=textdir, source=source))
    return rows


def with_minscore(data, dest, minscore):
    """A copy of data directory `data` at dest whose list has the given minscore."""
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    for fn in os.listdir(data):
        if fn.endswith(".lm") or fn == "langname.cfg":
            os.symlink(os.path.realpath(os.path.join(data, fn)), os.path.join(dest, fn))
    with open(os.path.join(data, "langlist.cfg")) as f, \
            open(os.path.join(dest, "langlist.cfg"), "w") as g:
        for line in f:
            if not line.lower().startswith("minscore:"):
                g.write(line)
        g.write("minscore: %s\n" % minscore)
    if not os.path.exists(os.path.join(dest, "langname.cfg")):
        with open(os.path.join(dest, "langname.cfg"), "w") as g:
            g.write("# identifiers are printed as they are\n")
    return dest


def list_setting(data, key):
    with open(os.path.join(data, "langlist.cfg")) as f:
        for line in f:
            if line.lower().startswith(key + ":"):
                return line.split(":", 1)[1].strip()
    return None


def run_glotta(glotta, data, paths, tag):
    """{path: [language, charset, score]} of the tool's best candidate for every path."""
    lst = os.path.join(WORK, "glotta-%s.lst" % tag)
    out = os.path.join(WORK, "glotta-%s.out" % tag)
    with open(lst, "w") as f:
        f.writelines(p + "\n" for p in paths)
    if os.path.exists(out):
        os.remove(out)
    with open(os.path.join(WORK, "glotta-%s.err" % tag), "w") as err:
        subprocess.run([glotta, "-n", "1", "-data_path", data, "@" + lst, out],
                       stdout=subprocess.DEVNULL, stderr=err)
    res, cur = {}, None
    with open(out, "rb") as f:
        for raw in f:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            if line.startswith("DOC_NAME:"):
                cur = line[9:]
                res[cur] = ["un", "Unknown", "0"]
            elif cur and line.startswith("LANGUAGE: "):
                res[cur][0] = line[10:]
            elif cur and line.startswith("CHARSET: "):
                res[cur][1] = line[9:]
            elif cur and line.startswith("SCORE: "):
                res[cur][2] = line[7:]
    return res


def build_peers():
    exe = os.path.join(WORK, "peers")
    src = os.path.join(HERE, "peers.cpp")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        subprocess.run(["g++", "-O2", "-std=c++20", src, "-o", exe, "-Wl,--no-as-needed",
                        "-lcld2_full", "-lcld2", "-lexttextcat-2.0", "-luchardet"], check=True)
    return exe


def run_peers(rows):
    """{path: (CLD2, libexttextcat, uchardet)}; legacy bytes reach the language peers through
    uchardet and iconv, Word and PDF samples as their plain UTF-8 text."""
    def plain_text(r):
        if r["variant"] in ("docx", "pdf"):
            base = r["path"].replace("/samples/%s/" % r["variant"], "/samples/utf8/")
            return base[:base.rindex(".")] + ".txt"
        return None

    inp = "".join("%s\t%s\n" % (plain_text(r) or r["path"], "utf8" if plain_text(r) else
                                r["variant"]) for r in rows)
    p = subprocess.run([build_peers()], input=inp.encode(),
                       capture_output=True, check=True)
    res = {}
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        path, cld, cat, ud = line.split("\t")
        res[path] = (cld, cat, ud)
    for r in rows:
        if plain_text(r):
            res[r["path"]] = res.get(plain_text(r))
    return res


def baseline_data(commit):
    """The shipped data of an earlier commit, or None when the repository lacks it."""
    dest = os.path.join(WORK, "baseline-data")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    arch = subprocess.run(["git", "-C", ROOT, "archive", commit, "data"], capture_output=True)
    if arch.returncode != 0:
        return None
    subprocess.run(["tar", "-x", "-C", dest, "--strip-components=1"], input=arch.stdout,
                   check=True)
    return dest


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--glotta", default=os.path.join(ROOT, "build", "prefix", "bin", "glotta"))
    ap.add_argument("--data", default=os.path.join(ROOT, "data"))
    ap.add_argument("--fold", action="append", help="measure only these sources")
    ap.add_argument("--baseline", default=BASELINE)
    ap.add_argument("--no-pdf", action="store_true")
    ap.add_argument("--publish", action="store_true")
    a = ap.parse_args()
    glotta = os.path.abspath(a.glotta)
    started = time.time()
    os.makedirs(WORK, exist_ok=True)

    def say(msg):
        print("run: %4.0fs %s" % (time.time() - started, msg), file=sys.stderr)

    subprocess.run([sys.executable, os.path.join(HERE, "make_samples.py")] + (a.fold or []),
                   check=True)
    rows = read_manifest()
    if not a.no_pdf:
        import make_pdf
        rows += make_pdf.main([r for r in rows if r["variant"] == "utf8"])
    say("%d samples" % len(rows))

    fl, _ = folds.folds(folds.layout())
    sources = sorted({r["source"] for r in rows})
    # Two folds train at a time (the machine's two cores), the largest first.
    with ThreadPoolExecutor(2) as pool:
        order = sorted(sources, key=lambda s: -len(fl[s]))
        trained = dict(zip(order, pool.map(lambda s: folds.train_fold(s, fl[s], glotta), order)))
    say("profiles of %d folds trained" % len(sources))
    # A language whose every training file is the left-out source has no profile in the fold.
    untrained = {(s, t) for s in sources for t in trained[s][1]}
    rows = [r for r in rows if (r["source"], r["textdir"]) not in untrained]
    tool, top = {}, {}
    for source in sources:
        data = folds.fold_data(source, trained[source][0], a.data)
        mine = [r["path"] for r in rows if r["source"] == source]
        tool.update(run_glotta(glotta, data, mine, "fold"))
        # The minscore study: the best candidate of every short plain-text sample.
        short = [r["path"] for r in rows if r["source"] == source and r["length"] <= 256 and
                 r["variant"] in ("utf8", "legacy")]
        zero = with_minscore(data, os.path.join(WORK, "folds", source, "data0"), "0")
        top.update(run_glotta(glotta, zero, short, "fold0"))
        say("fold %s: %d profiles of its own, %d samples" % (source, len(trained[source][0]),
                                                             len(mine)))
    peers = run_peers(rows)
    say("peers")
    with open(os.path.join(WORK, "results.tsv"), "w") as f:
        f.write("\t".join(COLUMNS) + "\n")
        for r in rows:
            g = tool.get(r["path"], ["err", "err", "0"])
            t = top.get(r["path"], ["-", "-", "-"])
            c = peers.get(r["path"]) or ("err", "err", "err")
            f.write("\t".join([r["path"], r["lang"], r["variant"], r["charset"],
                               str(r["length"]), r["textdir"], r["source"], g[0], g[1], g[2],
                               t[0], t[2], c[0], c[1], c[2]]) + "\n")

    # Junk against the shipped data and against the data before the cross-genre work.
    junk = calibrate.write_junk(os.path.join(WORK, "junk"))
    paths = [p for _, p in junk]
    ship = run_glotta(glotta, with_minscore(a.data, os.path.join(WORK, "data0"), "0"), paths,
                      "junk")
    base = baseline_data(a.baseline)
    before = {}
    if base:
        before = run_glotta(glotta, with_minscore(base, os.path.join(WORK, "base0"), "0"), paths,
                            "junk-base")
    with open(os.path.join(WORK, "junk.tsv"), "w") as f:
        f.write("#\tminscore\t%s\tbefore\t%s\t%s\n" % (
            list_setting(a.data, "minscore"), a.baseline,
            list_setting(base, "minscore") if base else "-"))
        for kind, p in junk:
            s = ship.get(p, ["err", "", "0"])
            b = before.get(p, ["-", "", "-"])
            f.write("\t".join([kind, p, s[0], s[2], b[0], b[2]]) + "\n")
    say("junk")
    with open(os.path.join(WORK, "meta.json"), "w") as f:
        json.dump(dict(glotta=glotta, data=os.path.abspath(a.data),
                       seconds=round(time.time() - started), untrained=sorted(untrained)), f)
    import report
    report.main(a.publish)


if __name__ == "__main__":
    main()
