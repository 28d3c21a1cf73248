#!/usr/bin/env python3
"""PDF and legacy Word variants of the accuracy benchmark: UTF-8 samples turned into PDF
files and Word 97-2003 documents by LibreOffice.

  bench/accuracy/make_office.py [pdf|doc]   (run.py calls it when the samples are missing)

Takes the UTF-8 samples of the manifest (the first PER_LENGTH samples of every language,
source and length, 00, 01, ...), converts them with headless LibreOffice (Writer's
UTF-8 text import; PDF export with embedded fonts: fonts-noto-core covers Arabic, Devanagari,
Thai and the rest, fonts-wqy-microhei CJK; or the "MS Word 97" export) and writes
bench/work/accuracy/samples/pdf/... or samples/doc/..., and returns their manifest rows
(variant "pdf" or "doc"). Converting 2000 samples takes about three minutes on two cores.
Existing files are kept. Where soffice is not installed there are no such samples.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(ROOT, "bench", "work", "accuracy")
PER_LENGTH = 1
BATCH = 100


def subset(rows):
    picked = []
    for r in rows:
        if r["variant"] != "utf8":
            continue
        idx = int(os.path.basename(r["path"]).split("-")[1].split(".")[0])
        if idx < PER_LENGTH:
            picked.append(r)
    return picked


# LibreOffice export filter of each variant.
EXPORT = {"pdf": "pdf", "doc": "doc:MS Word 97"}


def out_path(txt, fmt):
    return txt.replace("/samples/utf8/", "/samples/%s/" % fmt)[:-4] + "." + fmt


def main(rows, fmt="pdf"):
    need = [r for r in subset(rows) if not os.path.exists(out_path(r["path"], fmt))]
    if need and not shutil.which("soffice"):
        # The converter is used only where it is already installed: its packages are not
        # fetched for the benchmark.
        print("make_office: no soffice here, no %s samples" % fmt, file=sys.stderr)
        return []
    if need:
        # Without these fonts LibreOffice draws Arabic, Indic and CJK text with whatever it finds.
        subprocess.run([os.path.join(ROOT, "scripts", "data", "need.sh"), "fonts-noto-core",
                        "fonts-wqy-microhei"], check=True)
        # soffice names its output after the input's base name: give every sample a unique one.
        with tempfile.TemporaryDirectory() as tmp:
            names = {}
            for r in need:
                rel = os.path.relpath(r["path"], os.path.join(WORK, "samples", "utf8"))
                flat = rel.replace("/", "__")
                shutil.copy(r["path"], os.path.join(tmp, flat))
                names[flat[:-4] + "." + fmt] = out_path(r["path"], fmt)
            out = os.path.join(tmp, "out")
            inputs = sorted(os.path.join(tmp, n) for n in os.listdir(tmp) if n.endswith(".txt"))
            # One soffice call converts a few hundred files and then quietly stops: batches of
            # BATCH keep every file converted while paying the start-up only a few times.
            for i in range(0, len(inputs), BATCH):
                subprocess.run(["soffice", "--headless",
                                "-env:UserInstallation=file://" + tmp + "/u",
                                "--infilter=Text (encoded):UTF8", "--convert-to", EXPORT[fmt],
                                "--outdir", out] + inputs[i:i + BATCH],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            for flat, dest in names.items():
                src = os.path.join(out, flat)
                if os.path.exists(src):
                    os.makedirs(os.path.dirname(dest), exist_ok=True)
                    shutil.move(src, dest)
    made = []
    for r in subset(rows):
        p = out_path(r["path"], fmt)
        if os.path.exists(p):
            made.append(dict(r, path=p, variant=fmt))
    print("make_office: %d %s samples" % (len(made), fmt), file=sys.stderr)
    return made


if __name__ == "__main__":
    sys.path.insert(0, HERE)
    import run
    main([r for r in run.read_manifest() if r["variant"] == "utf8"],
         sys.argv[1] if len(sys.argv) > 1 else "pdf")
