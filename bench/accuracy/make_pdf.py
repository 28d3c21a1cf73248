#!/usr/bin/env python3
"""PDF variant of the accuracy benchmark: UTF-8 samples turned into PDF files by LibreOffice.

  bench/accuracy/make_pdf.py            (run.py calls it when the PDF samples are missing)

Takes the UTF-8 samples of the manifest (the first PER_LENGTH samples of every language and
length, 00, 01, ...: all of them at 16), converts them with headless LibreOffice (Writer's
UTF-8 text import, PDF export with embedded fonts; fonts-noto-core covers Arabic, Devanagari,
Thai and the rest, fonts-wqy-microhei CJK) and writes bench/work/accuracy/samples/pdf/... and
returns their manifest rows (variant "pdf"). Converting all 2952 samples takes about four minutes
on two cores; lower PER_LENGTH for a quicker, smaller measurement. Existing PDFs are kept.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
WORK = os.path.join(ROOT, "bench", "work", "accuracy")
PER_LENGTH = 16
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


def pdf_path(txt):
    return txt.replace("/samples/utf8/", "/samples/pdf/")[:-4] + ".pdf"


def main(rows):
    need = [r for r in subset(rows) if not os.path.exists(pdf_path(r["path"]))]
    if need:
        # Without these fonts LibreOffice draws Arabic, Indic and CJK text with whatever it finds.
        subprocess.run([os.path.join(ROOT, "scripts", "data", "need.sh"), "fonts-noto-core",
                        "fonts-wqy-microhei"], check=True)
        if not shutil.which("soffice"):
            subprocess.run([os.path.join(ROOT, "scripts", "data", "need.sh"),
                            "libreoffice-writer-nogui"], check=True)
        # soffice names its output after the input's base name: give every sample a unique one.
        with tempfile.TemporaryDirectory() as tmp:
            names = {}
            for r in need:
                rel = os.path.relpath(r["path"], os.path.join(WORK, "samples", "utf8"))
                flat = rel.replace("/", "__")
                shutil.copy(r["path"], os.path.join(tmp, flat))
                names[flat[:-4] + ".pdf"] = pdf_path(r["path"])
            out = os.path.join(tmp, "out")
            inputs = sorted(os.path.join(tmp, n) for n in os.listdir(tmp) if n.endswith(".txt"))
            # One soffice call converts a few hundred files and then quietly stops: batches of
            # BATCH keep every file converted while paying the start-up only a few times.
            for i in range(0, len(inputs), BATCH):
                subprocess.run(["soffice", "--headless",
                                "-env:UserInstallation=file://" + tmp + "/u",
                                "--infilter=Text (encoded):UTF8", "--convert-to", "pdf",
                                "--outdir", out] + inputs[i:i + BATCH],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            for flat, dest in names.items():
                src = os.path.join(out, flat)
                if os.path.exists(src):
                    os.makedirs(os.path.dirname(dest), exist_ok=True)
                    shutil.move(src, dest)
    rows_pdf = []
    for r in subset(rows):
        p = pdf_path(r["path"])
        if os.path.exists(p):
            rows_pdf.append(dict(r, path=p, variant="pdf"))
    print("make_pdf: %d PDF samples" % len(rows_pdf), file=sys.stderr)
    return rows_pdf


if __name__ == "__main__":
    sys.path.insert(0, HERE)
    import run
    main([r for r in run.read_manifest() if r["variant"] != "pdf"])
