#!/usr/bin/env python3
"""glotta-scan and glotta must never disagree.

Runs both installed commands over the same documents with the same language
data: every file of the end-to-end cases, then a few thousand generated mixed
documents (plain text in many charsets, UTF-16, HTML and XML with and without
declarations, two languages in one document, binary noise, empty files). For
each document the three best candidates of glotta's record (display name,
charset, score) must be glotta-scan's, and a document glotta reports as an
error must be an error record of glotta-scan with the same code.

With --parallel and --dask-python, the two ways of scaling out (the GNU
parallel recipe over hosts, here the local one, and python3 -m
glotta.distributed with two local worker processes) must write exactly
glotta-scan's lines.

    scan_agrees_with_glotta.py --prefix PREFIX --work DIR [--count N]
                               [--parallel] [--dask-python PYTHON]
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "profiles", "data")
SAMPLES = os.path.join(HERE, "profiles", "samples")
CANDIDATES = 3

# The charsets each sample language is written in, beyond UTF-8 and UTF-16.
CHARSETS = {
    "en": ["cp1252", "ascii"],
    "fr": ["cp1252", "latin-1"],
    "de": ["cp1252", "latin-1"],
    "es": ["cp1252"],
    "ru": ["cp1251", "koi8-r", "iso-8859-5", "cp866"],
    "bg": ["cp1251"],
    "el": ["cp1253", "iso-8859-7"],
    "ar": ["cp1256", "iso-8859-6"],
    "ja": ["shift_jis", "euc-jp", "iso-2022-jp"],
}


def fixtures():
    """Every document file of the end-to-end cases (not their language data)."""
    cases = os.path.join(HERE, "cases")
    found = []
    for root, dirs, files in os.walk(cases):
        dirs[:] = sorted(d for d in dirs if d not in ("data", "expected_files"))
        if os.sep + "files" not in root[len(cases):] + os.sep:
            continue
        for name in sorted(files):
            path = os.path.join(root, name)
            if os.path.isfile(path) and not os.path.islink(path) and "\n" not in path:
                found.append(path)
    return found


def encode(text, charset):
    data = text.encode(charset, errors="ignore") if charset != "ascii" else \
        text.encode("ascii", errors="ignore")
    return data


def generate(directory, count, seed):
    """Writes `count` mixed documents; returns their paths."""
    rng = random.Random(seed)
    texts = {}
    for name in sorted(os.listdir(SAMPLES)):
        with open(os.path.join(SAMPLES, name), encoding="utf-8") as f:
            texts[name.split(".")[0]] = f.read()
    languages = sorted(texts)
    os.makedirs(directory, exist_ok=True)
    paths = []
    for i in range(count):
        language = rng.choice(languages)
        text = texts[language]
        length = int(rng.choice([8, 20, 60, 200, 600, 1500, 4000]) * rng.uniform(0.5, 1.5))
        start = rng.randrange(max(1, len(text) - length))
        piece = text[start:start + length]
        kind = rng.random()
        if kind < 0.08:  # two languages
            other = texts[rng.choice(languages)]
            piece += " " + other[:rng.randrange(10, 400)]
        charset = rng.choice(["utf-8", "utf-8", "utf-16-le", "utf-16-be"] +
                             CHARSETS.get(language, []) * 2)
        shape = rng.random()
        if shape < 0.12:
            declared = rng.choice([charset, "", "utf-8"])
            meta = f'<meta charset="{declared}">' if declared else ""
            lang = f' lang="{language}"' if rng.random() < 0.4 else ""
            piece = (f"<html{lang}><head>{meta}<title>t</title><style>p{{x:1}}</style></head>"
                     f"<body><p>{piece}</p><script>var a=1;</script></body></html>")
        elif shape < 0.16:
            piece = f'<?xml version="1.0" encoding="{charset}"?><doc><p>{piece}</p></doc>'
        if charset.startswith("utf-16"):
            data = piece.encode(charset)
            if rng.random() < 0.7:
                data = (b"\xff\xfe" if charset.endswith("le") else b"\xfe\xff") + data
        else:
            data = encode(piece, charset)
            if charset == "utf-8" and rng.random() < 0.1:
                data = b"\xef\xbb\xbf" + data
        noise = rng.random()
        if noise < 0.02:
            data = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 3000)))
        elif noise < 0.03:
            data = b""
        elif noise < 0.05:
            data = data[:rng.randrange(1, 5)]
        path = os.path.join(directory, f"doc{i:05d}.txt")
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths


def glotta_records(prefix, listing, work):
    """glotta's answers: path -> ("ok", [(name, charset, score)]) or ("error", code)."""
    run = subprocess.run([os.path.join(prefix, "bin", "glotta"), "-n", str(CANDIDATES),
                          "-data_path", DATA, "@" + listing], capture_output=True, cwd=work)
    records = {}
    current = None
    for line in run.stdout.decode("utf-8", "surrogateescape").split("\n"):
        if line.startswith("DOC_NAME:"):
            current = []
            records[line[len("DOC_NAME:"):]] = ("ok", current)
        elif line.startswith("LANGUAGE: "):
            current.append([line[10:], None, None])
        elif line.startswith("CHARSET: "):
            current[-1][1] = line[9:]
        elif line.startswith("SCORE: "):
            current[-1][2] = float(line[7:])
    for line in run.stderr.decode("utf-8", "surrogateescape").split("\n"):
        m = re.match(r"Error (-\d+): .* \(for document: (.*)\)$", line)
        if m:
            records[m.group(2)] = ("error", int(m.group(1)))
    return records


def scan_output(prefix, listing, work):
    """glotta-scan's JSON lines for the list, as bytes."""
    with open(listing, "rb") as f:
        run = subprocess.run([os.path.join(prefix, "bin", "glotta-scan"), "-j", "2", "-n",
                              str(CANDIDATES), "--format", "jsonl", "--data-path", DATA, "-"],
                             stdin=f, capture_output=True, cwd=work)
    if run.returncode not in (0, 1):
        sys.exit(f"glotta-scan failed with {run.returncode}: {run.stderr.decode()}")
    return run.stdout


def same_output(what, expected, got):
    """A problem when the scale-out run did not write glotta-scan's bytes."""
    if got == expected:
        print(f"{what}: the same {len(expected.splitlines())} lines as glotta-scan")
        return []
    ours, theirs = expected.splitlines(), got.splitlines()
    for i, (a, b) in enumerate(zip(ours, theirs)):
        if a != b:
            return [f"{what}, line {i + 1}: {b[:300]!r} instead of {a[:300]!r}"]
    return [f"{what}: {len(theirs)} lines instead of {len(ours)}"]


def gnu_parallel(prefix, listing, work, expected):
    """The GNU parallel recipe, with the local machine as its one host."""
    scan = [os.path.join(prefix, "bin", "glotta-scan"), "-j", "1", "-n", str(CANDIDATES),
            "--format", "jsonl", "--data-path", DATA, "-"]
    with open(listing, "rb") as f:
        run = subprocess.run(["parallel", "--will-cite", "-k", "--pipe", "-N", "400", "-S", ":"]
                             + scan, stdin=f, capture_output=True, cwd=work)
    return same_output("GNU parallel (-S :)", expected, run.stdout)


def dask(python, prefix, listing, work, expected):
    """python3 -m glotta.distributed with two local worker processes."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.path.join(prefix, "lib", "python3", "dist-packages")
    out = os.path.join(work, "dask.jsonl")
    run = subprocess.run([python, "-m", "glotta.distributed", "--local-workers", "2", listing,
                          "-o", out, "-n", str(CANDIDATES), "--data-path", DATA,
                          "--partition-size", "500"],
                         capture_output=True, cwd=work, env=env)
    if run.returncode not in (0, 1):
        return [f"glotta.distributed failed with {run.returncode}: {run.stderr.decode()[-2000:]}"]
    with open(out, "rb") as f:
        problems = same_output("glotta.distributed --local-workers 2", expected, f.read())
    # An engine that cannot start in the workers is a start-up error: status
    # 2 and the engine's message, as documented.
    run = subprocess.run([python, "-m", "glotta.distributed", "--local-workers", "1", listing,
                          "-o", os.path.join(work, "dask-nodata.jsonl"), "--data-path",
                          os.path.join(work, "no-such-data")],
                         capture_output=True, cwd=work, env=env)
    line = (b"glotta.distributed: Error -19989: Language data are not available "
            b"(in initializing language detection module)\n")
    if run.returncode != 2 or line not in run.stderr:
        problems.append(f"glotta.distributed without data: status {run.returncode}, "
                        f"{run.stderr.decode()[-2000:]}")
    return problems


def compare(paths, glotta, scan):
    problems = []
    if len(scan) != len(paths):
        return [f"glotta-scan gave {len(scan)} records for {len(paths)} documents"]
    for path, record in zip(paths, scan):
        if os.fsencode(record["path"]) != os.fsencode(path):
            problems.append(f"{path}: record of {record['path']} in its place")
            continue
        expected = glotta.get(path)
        if expected is None:
            problems.append(f"{path}: glotta reported nothing")
        elif expected[0] == "error":
            if record.get("error", {}).get("code") != expected[1]:
                problems.append(f"{path}: glotta error {expected[1]}, glotta-scan {record}")
        elif "error" in record:
            problems.append(f"{path}: glotta {expected[1]}, glotta-scan {record['error']}")
        else:
            got = [record] + record.get("runners_up", []) if "language" in record else []
            if len(got) != len(expected[1]):
                problems.append(f"{path}: {len(expected[1])} candidates, glotta-scan {len(got)}")
                continue
            for (name, charset, score), c in zip(expected[1], got):
                if c["name"] != name or c["charset"] != charset or abs(c["score"] - score) > 0.0051:
                    problems.append(f"{path}: glotta {name}/{charset}/{score}, glotta-scan "
                                    f"{c['name']}/{c['charset']}/{c['score']}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--count", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--parallel", action="store_true",
                        help="also run the GNU parallel recipe (-S :) and compare")
    parser.add_argument("--dask-python", metavar="PYTHON",
                        help="also run python3 -m glotta.distributed with this Python")
    args = parser.parse_args()
    args.prefix = os.path.abspath(args.prefix)
    args.work = os.path.abspath(args.work)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    paths = fixtures() + generate(os.path.join(args.work, "mixed"), args.count, args.seed)
    listing = os.path.join(args.work, "all.lst")
    with open(listing, "wb") as f:
        f.write(b"".join(os.fsencode(p) + b"\n" for p in paths))
    glotta = glotta_records(args.prefix, listing, args.work)
    output = scan_output(args.prefix, listing, args.work)
    scan = [json.loads(line) for line in output.splitlines()]
    problems = compare(paths, glotta, scan)
    if args.parallel:
        problems += gnu_parallel(args.prefix, listing, args.work, output)
    if args.dask_python:
        problems += dask(args.dask_python, args.prefix, listing, args.work, output)
    for problem in problems[:40]:
        print(problem)
    if problems:
        sys.exit(f"{len(problems)} of {len(paths)} documents differ")
    print(f"{len(paths)} documents: glotta and glotta-scan agree")


if __name__ == "__main__":
    main()
