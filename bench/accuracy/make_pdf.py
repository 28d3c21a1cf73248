#!/usr/bin/env python3
"""PDF variant of the accuracy benchmark: UTF-8 samples laid out as PDF pages.

  bench/accuracy/make_pdf.py   (run.py calls it when the samples are missing)

Takes the UTF-8 samples of the manifest (the first PER_LENGTH samples of every language,
source and length, 00, 01, ...) and lays each out with pango-view (pango1.0-tools: pango
shapes the text and picks each paragraph's direction, cairo writes the PDF with embedded font
subsets that map the glyphs back to their characters; fonts-noto-core covers Arabic,
Devanagari, Thai and the rest, fonts-wqy-microhei CJK), writes bench/work/accuracy/samples/
pdf/... and returns their manifest rows (variant "pdf"). Existing files are kept.
"""
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
PER_LENGTH = 1


def subset(rows):
    picked = []
    for r in rows:
        if r["variant"] != "utf8":
            continue
        idx = int(os.path.basename(r["path"]).split("-")[1].split(".")[0])
        if idx < PER_LENGTH:
            picked.append(r)
    return picked


def out_path(txt):
    return txt.replace("/samples/utf8/", "/samples/pdf/")[:-4] + ".pdf"


def render(txt):
    dest = out_path(txt)
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    subprocess.run(["pango-view", "-q", "--font=Noto Sans 11", "--width=450", "--margin=54",
                    "-o", dest + ".tmp.pdf", txt],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    os.replace(dest + ".tmp.pdf", dest)


def main(rows):
    need = [r["path"] for r in subset(rows) if not os.path.exists(out_path(r["path"]))]
    if need:
        subprocess.run([os.path.join(ROOT, "scripts", "data", "need.sh"), "pango1.0-tools",
                        "fonts-noto-core", "fonts-wqy-microhei"], check=True)
        with ThreadPoolExecutor(2) as pool:
            list(pool.map(render, need))
    made = [dict(r, path=out_path(r["path"]), variant="pdf") for r in subset(rows)]
    print("make_pdf: %d pdf samples" % len(made), file=sys.stderr)
    return made


if __name__ == "__main__":
    sys.path.insert(0, HERE)
    import run
    main([r for r in run.read_manifest() if r["variant"] == "utf8"])
