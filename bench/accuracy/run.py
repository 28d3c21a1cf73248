#!/usr/bin/env python3
"""Accuracy benchmark: glotta, CLD2, libexttextcat and uchardet on the held-out samples.

  bench/accuracy/run.py [--glotta PATH] [--data DIR] [--model]

Cuts the samples (make_samples.py) when they are missing, runs glotta over all of them in one
bulk run with the data directory DIR (default data/, copied so that identifiers print raw),
runs the peers (peers.cpp, built here with g++) on the same files, and writes
bench/work/accuracy/results.tsv and the summary bench/ACCURACY.md (report.py).
The PDF and legacy Word variants (make_office.py: the UTF-8 samples converted by LibreOffice)
are added unless --no-pdf or --no-doc is given.

--model replaces the tool by ngram_model.py (plain-text samples only); its figures are a
calibration aid and are labelled as such in the report.
"""
import argparse
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(ROOT, "bench", "work", "accuracy")
sys.path.insert(0, HERE)


def read_manifest():
    rows = []
    with open(os.path.join(WORK, "manifest.tsv")) as f:
        for line in f:
            path, lang, variant, cs, length, textdir = line.rstrip("\n").split("\t")
            rows.append(dict(path=path, lang=lang, variant=variant, charset=cs,
                             length=int(length), textdir=textdir))
    return rows


def bench_data(src):
    dest = os.path.join(WORK, "data")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    for fn in os.listdir(src):
        if fn.endswith(".lm") or fn == "langlist.cfg":
            shutil.copy(os.path.join(src, fn), dest)
    with open(os.path.join(dest, "langname.cfg"), "w") as f:
        f.write("# identifiers are printed as they are\n")
    return dest


def run_glotta(glotta, data, rows):
    lst = os.path.join(WORK, "glotta.lst")
    out = os.path.join(WORK, "glotta.out")
    with open(lst, "w") as f:
        f.writelines(r["path"] + "\n" for r in rows)
    if os.path.exists(out):
        os.remove(out)
    subprocess.run([glotta, "-n", "1", "-data_path", data, "@" + lst, out],
                   stdout=subprocess.DEVNULL, stderr=open(os.path.join(WORK, "glotta.err"), "w"))
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


def run_model(data, rows):
    import ngram_model
    profs, minsize, minscore = ngram_model.load(data)
    res = {}
    for r in rows:
        if r["variant"] == "html":
            continue
        data_bytes = open(r["path"], "rb").read()
        lang, cs, score = ngram_model.classify(data_bytes, profs, minsize, minscore)[0]
        res[r["path"]] = [lang, cs, "%.2f" % score]
    return res


def run_peers(rows):
    exe = os.path.join(WORK, "peers")
    src = os.path.join(HERE, "peers.cpp")
    if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
        subprocess.run(["g++", "-O2", "-std=c++20", src, "-o", exe, "-Wl,--no-as-needed", "-lcld2_full", "-lcld2", "-lexttextcat-2.0",
                        "-luchardet"], check=True)
    def plain_text(r):
        # The peers read no Word or PDF files: they get the same text as plain UTF-8.
        if r["variant"] in ("docx", "pdf", "doc"):
            base = r["path"].replace("/%s/" % r["variant"], "/utf8/")
            return base[:base.rindex(".")] + ".txt"
        return None

    def peer_input(r):
        if plain_text(r):
            return "%s\tutf8\n" % plain_text(r)
        return "%s\t%s\n" % (r["path"], r["variant"])
    inp = "".join(peer_input(r) for r in rows)
    p = subprocess.run([exe], input=inp.encode(), capture_output=True, check=True)
    res = {}
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        path, cld, cat, ud = line.split("\t")
        res[path] = (cld, cat, ud)
    for r in rows:
        if plain_text(r):
            res[r["path"]] = res.get(plain_text(r))
    return res


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--glotta", default=os.path.join(ROOT, "build", "prefix", "bin", "glotta"))
    ap.add_argument("--data", default=os.path.join(ROOT, "data"))
    ap.add_argument("--model", action="store_true")
    ap.add_argument("--no-pdf", action="store_true")
    ap.add_argument("--no-doc", action="store_true")
    a = ap.parse_args()
    os.makedirs(WORK, exist_ok=True)
    if not os.path.exists(os.path.join(WORK, "manifest.tsv")):
        subprocess.run([sys.executable, os.path.join(HERE, "make_samples.py")], check=True)
    rows = [r for r in read_manifest() if r["variant"] not in ("pdf", "doc")]
    if not a.model:
        import make_office
        utf8 = [r for r in rows if r["variant"] == "utf8"]
        for fmt, skip in (("pdf", a.no_pdf), ("doc", a.no_doc)):
            if not skip:
                rows += make_office.main(utf8, fmt)
    data = bench_data(a.data)
    tool = run_model(data, rows) if a.model else run_glotta(a.glotta, data, rows)
    peers = run_peers(rows)
    with open(os.path.join(WORK, "results.tsv"), "w") as f:
        for r in rows:
            g = tool.get(r["path"], ["err", "err", "0"])
            c = peers.get(r["path"], ("err", "err", "err"))
            f.write("\t".join([r["path"], r["lang"], r["variant"], r["charset"],
                               str(r["length"]), r["textdir"], g[0], g[1], g[2], c[0], c[1],
                               c[2]]) + "\n")
    import report
    report.main(os.path.join(WORK, "results.tsv"), "model" if a.model else "glotta")


if __name__ == "__main__":
    main()
