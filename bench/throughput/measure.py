#!/usr/bin/env python3
"""Time glotta and the CLD2 peer driver over the throughput corpus.

Called by run.sh once the corpus, the installed tool and the driver exist.
Every bulk run is repeated; figures are medians.  Wall time is what a user
waits for; CPU time (user + system) is what the process itself spent and is
the steadier figure on a shared machine, so both are reported.  Peak memory
is the largest resident set of any run (/usr/bin/time).
"""

import argparse
import collections
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# glibc tunables that keep freed memory in the heap instead of returning it
# to the kernel after every document (the CLD2 driver sets the same with
# mallopt).
TUNED_MALLOC = ("glibc.malloc.trim_threshold=268435456:"
                "glibc.malloc.mmap_threshold=268435456")


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def timed(cmd, env=None, stdout_path=os.devnull):
    """Run cmd once; return (wall s, user+system s, stderr, exit status).

    CPU time comes from wait4(), the same resource usage that /usr/bin/time
    reports, but with microsecond resolution.
    """
    with open(stdout_path, "w") as out, tempfile.TemporaryFile("w+") as err:
        t0 = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=out, stderr=err, env=env)
        _, status, ru = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t0
        p.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        text = err.read()
    return wall, ru.ru_utime + ru.ru_stime, text, p.returncode


def peak_rss_time_v(cmd, env=None):
    """Maximum resident set size in KiB as /usr/bin/time -v reports it."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as tf:
        subprocess.run(["/usr/bin/time", "-v", "-o", tf.name] + cmd, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", tf.read())
    return int(m.group(1)) if m else 0


def repeat(cmd, runs, env=None, stdout_path=os.devnull):
    walls, cpus, last_err, codes = [], [], "", set()
    for _ in range(runs):
        w, c, err, code = timed(cmd, env, stdout_path)
        walls.append(w)
        cpus.append(c)
        last_err = err
        codes.add(code)
    # wait4() on a child forked from this interpreter counts the
    # interpreter's own pages in the peak, so peak memory comes from
    # /usr/bin/time, which forks from a small process.
    rss = peak_rss_time_v(cmd, env)
    return {"wall": statistics.median(walls), "cpu": statistics.median(cpus),
            "walls": walls, "cpus": cpus, "rss_kib": rss, "stderr": last_err,
            "exit_codes": sorted(codes)}


def hyperfine(cmd, runs, label, env=None):
    with tempfile.NamedTemporaryFile("r", suffix=".json") as jf:
        subprocess.run(["hyperfine", "--style", "none", "-N", "--warmup", "3",
                        "--runs", str(runs), "-i", "--export-json", jf.name,
                        "-n", label, " ".join(cmd)], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        res = json.load(open(jf.name))["results"][0]
    return {"median": res["median"], "min": res["min"], "mean": res["mean"],
            "cpu": res["user"] + res["system"]}


def callgrind_instructions(cmd, env=None):
    """Instructions the command executes, counted by callgrind (load-free)."""
    with tempfile.TemporaryDirectory() as tmp:
        log_path = os.path.join(tmp, "log")
        subprocess.run(["valgrind", "--tool=callgrind", "--log-file=" + log_path,
                        "--callgrind-out-file=" + os.path.join(tmp, "out")] + cmd,
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(log_path) as f:
            m = re.search(r"Collected : (\d+)", f.read())
    return int(m.group(1)) if m else 0


def read_manifest(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("#"):
                continue
            p, lang, cs, kind, n = line.rstrip("\n").split("\t")
            rows.append({"path": p, "lang": lang, "charset": cs, "kind": kind,
                         "bytes": int(n)})
    return rows


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    mem = ""
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem = "%.0f GiB" % (int(line.split()[1]) / 1024 / 1024)
                break
    return {"nproc": os.cpu_count(), "cpu": model, "mem": mem,
            "kernel": platform.release(), "load": os.getloadavg()}


def profile_count(prefix):
    """Profiles named by the installed language list, and .lm files present."""
    lists = []
    lms = 0
    for dirpath, _, files in os.walk(prefix):
        for f in files:
            if f == "langlist.cfg":
                lists.append(os.path.join(dirpath, f))
            elif f.endswith(".lm"):
                lms += 1
    named = 0
    for path in lists:
        with open(path, "rb") as f:
            for line in f:
                if line[:1] in (b"#", b"\n", b"\r") or not line.strip():
                    continue
                if re.search(rb"\.lm\b", line):
                    named += 1
    return named, lms, lists


def check_records(out_path, n_docs, stderr):
    """Counts of records, unidentified answers (score 0.00) and errors."""
    records = unidentified = 0
    try:
        with open(out_path, encoding="utf-8", errors="replace") as f:
            for line in f:
                if line == "<<EOD>>\n":
                    records += 1
                elif line == "SCORE: 0.00\n":
                    unidentified += 1
    except FileNotFoundError:
        pass
    errors = sum(1 for line in stderr.splitlines() if line.startswith("Error "))
    return {"records": records, "unidentified": unidentified, "errors": errors,
            "missing": n_docs - records - errors}


def rate(n, seconds):
    return n / seconds if seconds > 0 else float("inf")


def fmt_rate(x):
    return "%.0f" % x if x != float("inf") else "inf"


def write_list(path, paths):
    with open(path, "w") as f:
        f.writelines(p + "\n" for p in paths)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--repo", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--startup-runs", type=int, default=30)
    ap.add_argument("--results", required=True)
    ap.add_argument("--fixtures", default=None,
                    help="directory of mixed-format fixtures (PDF, DOCX, ...)")
    args = ap.parse_args()

    corpus = os.path.join(args.work, "corpus")
    bulk = os.path.join(corpus, "bulk.lst")
    manifest = os.path.join(corpus, "manifest.tsv")
    rows = read_manifest(manifest)
    n_docs = len(rows)
    n_bytes = sum(r["bytes"] for r in rows)
    mb = n_bytes / 1e6
    outdir = os.path.join(args.work, "out")
    os.makedirs(outdir, exist_ok=True)

    info = machine()
    started = datetime.datetime.now(datetime.timezone.utc)
    # Warm the page cache so that the first timed run does not pay for disk.
    for r in rows:
        with open(os.path.join(corpus, r["path"]), "rb") as f:
            f.read()

    glotta = os.path.join(args.prefix, "bin", "glotta")
    have_glotta = os.access(glotta, os.X_OK)
    results = collections.OrderedDict()
    startup = {}

    if have_glotta:
        log("glotta: start-up")
        for name, lst in (("empty list", "empty.lst"), ("one document", "one.lst")):
            startup[name] = hyperfine([glotta, "@" + os.path.join(corpus, lst),
                                       os.path.join(outdir, "startup.txt")],
                                      args.startup_runs, "glotta " + name)
        # The launcher is a shell script; the tool binary started directly
        # shows what the script itself costs.
        binary = os.path.join(args.prefix, "_linux", "bin", "glotta")
        if os.access(binary, os.X_OK):
            env = dict(os.environ)
            env["LD_LIBRARY_PATH"] = os.path.dirname(binary) + (
                ":" + env["LD_LIBRARY_PATH"] if env.get("LD_LIBRARY_PATH") else "")
            startup["empty list, tool binary without the launcher"] = hyperfine(
                [binary, "@" + os.path.join(corpus, "empty.lst"),
                 os.path.join(outdir, "startup.txt")],
                args.startup_runs, "glotta binary empty list", env=env)
        log("glotta: bulk run x%d" % args.runs)
        out = os.path.join(outdir, "glotta.txt")
        res = repeat([glotta, "@" + bulk, out], args.runs)
        res["check"] = check_records(out, n_docs, res["stderr"])
        results["glotta"] = res
        # The same run with glibc's heap trimming pushed out of the way: a
        # large gap shows per-document allocations that grow and shrink the
        # heap (brk and TLB flushes) on every document.
        log("glotta: bulk run x%d, malloc thresholds raised" % args.runs)
        env = dict(os.environ, GLIBC_TUNABLES=TUNED_MALLOC)
        res = repeat([glotta, "@" + bulk, os.path.join(outdir, "glotta-tuned.txt")],
                     args.runs, env=env)
        res["label"] = "glotta, malloc thresholds raised"
        results["glotta-tuned"] = res
    else:
        log("no glotta at %s: measuring the peer only" % glotta)

    cld2_startup = hyperfine([args.driver, "@" + os.path.join(corpus, "empty.lst"),
                              os.path.join(outdir, "startup.txt")],
                             args.startup_runs, "cld2 empty list")
    for mode, extra, label in (
            ("raw", [], "CLD2, bytes as-is"),
            ("raw", ["-malloc_default"], "CLD2, bytes as-is, default malloc"),
            ("oracle", [], "CLD2 + iconv (known charset)"),
            ("peer", [], "uchardet + iconv + CLD2")):
        key = "cld2-" + mode + ("-malloc-default" if extra else "")
        log("%s: bulk run x%d" % (key, args.runs))
        out = os.path.join(outdir, key + ".txt")
        res = repeat([args.driver, "-mode", mode] + extra +
                     ["-manifest", manifest, "@" + bulk, out], args.runs)
        res["check"] = check_records(out, n_docs, "")
        res["label"] = label
        results[key] = res

    # Instructions per document: independent of the machine's load, so the
    # steadiest figure for comparing revisions and peers on a shared machine.
    instructions = {}
    if shutil.which("valgrind"):
        sample = rows[:400]
        sample_list = os.path.join(corpus, "sample400.lst")
        write_list(sample_list, [r["path"] for r in sample])
        empty = os.path.join(corpus, "empty.lst")
        runs_ir = []
        if have_glotta:
            binary = os.path.join(args.prefix, "_linux", "bin", "glotta")
            env = dict(os.environ)
            env["LD_LIBRARY_PATH"] = os.path.dirname(binary)
            runs_ir.append(("glotta", [binary], env))
        runs_ir.append(("CLD2, bytes as-is", [args.driver, "-mode", "raw"], None))
        runs_ir.append(("uchardet + iconv + CLD2", [args.driver, "-mode", "peer"], None))
        for label, cmd, env in runs_ir:
            log("callgrind: %s" % label)
            # glotta writes its profile cache on a start without one; under
            # valgrind the program file is valgrind's, so a first run fills
            # that cache and both counted runs start from it alike.
            callgrind_instructions(cmd + ["@" + empty, os.devnull], env)
            base = callgrind_instructions(cmd + ["@" + empty, os.devnull], env)
            full = callgrind_instructions(cmd + ["@" + sample_list, os.devnull], env)
            instructions[label] = (base, (full - base) / len(sample))

    # Per kind of document (plain text, HTML, XML) from the same corpus.
    kinds = {}
    text_runs = collections.OrderedDict()
    if have_glotta:
        by_kind = collections.defaultdict(list)
        for r in rows:
            by_kind[r["kind"]].append(r)
        for kind in sorted(by_kind):
            # Repeated up to the size of the whole corpus so that start-up
            # weighs the same in every row.
            docs = by_kind[kind] * max(1, -(-n_docs // len(by_kind[kind])))
            lst = os.path.join(corpus, "kind-%s.lst" % kind)
            write_list(lst, [r["path"] for r in docs])
            res = repeat([glotta, "@" + lst, os.path.join(outdir, "kind.txt")],
                         max(3, args.runs // 2))
            kinds[kind] = (len(docs), sum(r["bytes"] for r in docs), res)
            if kind == "text":
                # The second list: plain text alone, of every charset in the
                # corpus, with the peers over the same list in the same run.
                text_runs["glotta"] = res
                for mode, label in (("raw", "CLD2, bytes as-is"),
                                    ("peer", "uchardet + iconv + CLD2")):
                    log("cld2-%s: plain-text list x%d" % (mode, max(3, args.runs // 2)))
                    peer = repeat([args.driver, "-mode", mode, "-manifest", manifest,
                                   "@" + lst, os.path.join(outdir, "kind-cld2.txt")],
                                  max(3, args.runs // 2))
                    peer["label"] = label
                    text_runs[mode] = peer

    # Mixed formats: every fixture file, grouped by extension, each list
    # repeated to at least 500 entries so that start-up does not dominate.
    formats = {}
    fixtures = args.fixtures
    if have_glotta and fixtures and os.path.isdir(fixtures):
        by_ext = collections.defaultdict(list)
        for dirpath, _, files in sorted(os.walk(fixtures)):
            for f in sorted(files):
                ext = os.path.splitext(f)[1].lstrip(".").lower() or "(none)"
                by_ext[ext].append(os.path.abspath(os.path.join(dirpath, f)))
        fmtdir = os.path.join(args.work, "formats")
        os.makedirs(fmtdir, exist_ok=True)
        for ext in sorted(by_ext):
            files = by_ext[ext]
            reps = max(1, -(-500 // len(files)))
            entries = files * reps
            lst = os.path.join(fmtdir, "%s.lst" % re.sub(r"[^a-z0-9]+", "_", ext))
            write_list(lst, entries)
            size = sum(os.path.getsize(p) for p in entries)
            res = repeat([glotta, "@" + lst, os.path.join(outdir, "format.txt")], 3)
            res["check"] = check_records(os.path.join(outdir, "format.txt"),
                                         len(entries), res["stderr"])
            formats[ext] = (len(files), len(entries), size, res)

    named, lms, lists = profile_count(args.prefix) if have_glotta else (0, 0, [])
    rev = subprocess.run(["git", "-C", args.repo, "describe", "--always"],
                         capture_output=True, text=True).stdout.strip()
    # The report itself does not make the tree dirty.
    changes = subprocess.run(["git", "-C", args.repo, "status", "--porcelain",
                              "--untracked-files=no", "--", ".",
                              ":!" + os.path.relpath(os.path.abspath(args.results), args.repo)],
                             capture_output=True, text=True).stdout.strip()
    if changes:
        rev += "-dirty"
    info_end = os.getloadavg()

    # --- report ------------------------------------------------------------
    L = []
    L.append("# Bulk throughput")
    L.append("")
    L.append("Measured %s by `bench/throughput/run.sh` at revision `%s`."
             % (started.strftime("%Y-%m-%d %H:%M UTC"), rev or "?"))
    L.append("")
    L.append("| Machine | |")
    L.append("|---|---|")
    L.append("| CPU | %s, %d cores (nproc) |" % (info["cpu"], info["nproc"]))
    L.append("| Memory | %s |" % info["mem"])
    L.append("| Kernel | %s |" % info["kernel"])
    L.append("| Load average (1 min) at start / end | %.1f / %.1f |"
             % (info["load"][0], info_end[0]))
    if have_glotta:
        L.append("| Profiles | %d named in langlist.cfg, %d .lm files installed |"
                 % (named, lms))
    L.append("")
    charsets = len({r["charset"] for r in rows})
    langs = len({r["lang"] for r in rows})
    kinds_count = collections.Counter(r["kind"] for r in rows)
    L.append("Corpus (`make_corpus.py`, seed and packages in `bench/work/corpus/CORPUS.txt`): "
             "%d documents, %.2f MB, %d languages, %d charsets, %s; sizes 64 B to 4 KiB, "
             "median %d B." % (n_docs, mb, langs, charsets,
                                ", ".join("%d %s" % (v, k) for k, v in sorted(kinds_count.items())),
                                statistics.median(r["bytes"] for r in rows)))
    L.append("")
    L.append("Each bulk figure is the median of %d runs of the whole list, start-up "
             "included. *docs/s wall* divides by elapsed time; *docs/s CPU* by user + "
             "system time, which is steadier when other work shares the machine (the best "
             "run comes closest to an idle machine). "
             "MB/s counts the documents' file sizes." % args.runs)
    L.append("")
    L.append("| Run | docs/s wall | docs/s CPU | docs/s CPU, best run | MB/s wall | MB/s CPU "
             "| wall s | CPU s | peak RSS (time -v) |")
    L.append("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for key, res in results.items():
        label = "glotta `@list out`" if key == "glotta" else res["label"]
        L.append("| %s | %s | %s | %s | %.2f | %.2f | %.3f | %.3f | %.1f MiB |"
                 % (label, fmt_rate(rate(n_docs, res["wall"])), fmt_rate(rate(n_docs, res["cpu"])),
                    fmt_rate(rate(n_docs, min(res["cpus"]))),
                    rate(mb, res["wall"]), rate(mb, res["cpu"]), res["wall"], res["cpu"],
                    res["rss_kib"] / 1024))
    L.append("")
    if have_glotta:
        g = results["glotta"]
        L.append("Ratio glotta (as shipped) / peer in documents per second; above 1 means "
                 "glotta is faster:")
        L.append("")
        L.append("| Peer | wall | CPU |")
        L.append("|---|---:|---:|")
        for key, res in results.items():
            if key.startswith("glotta"):
                continue
            L.append("| %s | %.2f | %.2f |" % (res["label"], res["wall"] / g["wall"],
                                                res["cpu"] / g["cpu"]))
        L.append("")
        L.append("Start-up (hyperfine, %d runs after 3 warm-up runs):" % args.startup_runs)
        L.append("")
        L.append("| Command | median | min | CPU (mean) |")
        L.append("|---|---:|---:|---:|")
        for name, s in startup.items():
            L.append("| glotta, %s | %.1f ms | %.1f ms | %.1f ms |"
                     % (name, s["median"] * 1e3, s["min"] * 1e3, s["cpu"] * 1e3))
        L.append("| cld2_driver, empty list | %.1f ms | %.1f ms | %.1f ms |"
                 % (cld2_startup["median"] * 1e3, cld2_startup["min"] * 1e3,
                    cld2_startup["cpu"] * 1e3))
        L.append("")
        st = startup["empty list"]["median"]
        net = g["wall"] - st
        st_cpu = startup["empty list"]["cpu"]
        L.append("glotta without its start-up: %s docs/s wall (%.3f s less %.1f ms), "
                 "%s docs/s CPU (%.3f s less %.1f ms)."
                 % (fmt_rate(rate(n_docs, net)), g["wall"], st * 1e3,
                    fmt_rate(rate(n_docs, g["cpu"] - st_cpu)), g["cpu"], st_cpu * 1e3))
        c = g["check"]
        L.append("")
        L.append("Output check: %d records, %d of them unidentified (score 0.00), %d documents "
                 "with an error line, %d unaccounted for; exit status %s."
                 % (c["records"], c["unidentified"], c["errors"], c["missing"],
                    ", ".join(map(str, g["exit_codes"]))))
        L.append("")
        L.append("Targets: >= 10,000 docs/s per process: %s (wall), %s (CPU); start-up < 50 ms: %s."
                 % ("met" if rate(n_docs, g["wall"]) >= 10000 else "missed",
                    "met" if rate(n_docs, g["cpu"]) >= 10000 else "missed",
                    "met" if st < 0.050 else "missed"))
        L.append("")
        if instructions:
            L.append("Instructions (callgrind, first %d documents of the list, start-up "
                     "subtracted; independent of the load):" % min(400, n_docs))
            L.append("")
            L.append("| Program | start-up | per document |")
            L.append("|---|---:|---:|")
            for label, (base, per_doc) in instructions.items():
                L.append("| %s | %.1f M | %.0f k |" % (label, base / 1e6, per_doc / 1e3))
            L.append("")
        if kinds:
            L.append("glotta by kind of document (each kind's documents listed repeatedly up "
                     "to %d entries; median of %d runs, start-up included):"
                     % (n_docs, max(3, args.runs // 2)))
            L.append("")
            L.append("| Kind | list entries | docs/s wall | docs/s CPU | MB/s CPU |")
            L.append("|---|---:|---:|---:|---:|")
            for kind, (n, b, res) in kinds.items():
                L.append("| %s | %d | %s | %s | %.2f |"
                         % (kind, n, fmt_rate(rate(n, res["wall"])), fmt_rate(rate(n, res["cpu"])),
                            rate(b / 1e6, res["cpu"])))
            L.append("")
        if len(text_runs) > 1:
            n = kinds["text"][0]
            text_rows = [r for r in rows if r["kind"] == "text"]
            g = text_runs["glotta"]
            L.append("Second list, plain text only (%d documents in %d charsets, listed "
                     "repeatedly up to %d entries), the peers over the same list in the same "
                     "run; ratio glotta / peer in documents per second:"
                     % (len(text_rows), len({r["charset"] for r in text_rows}), n))
            L.append("")
            L.append("| Run | docs/s wall | docs/s CPU | ratio wall | ratio CPU |")
            L.append("|---|---:|---:|---:|---:|")
            for key, res in text_runs.items():
                label = "glotta `@list out`" if key == "glotta" else res["label"]
                L.append("| %s | %s | %s | %.2f | %.2f |"
                         % (label, fmt_rate(rate(n, res["wall"])), fmt_rate(rate(n, res["cpu"])),
                            res["wall"] / g["wall"], res["cpu"] / g["cpu"]))
            L.append("")
        if formats:
            L.append("Mixed formats from `%s` (each fixture listed repeatedly, "
                     "median of 3 runs, start-up included):" % os.path.relpath(fixtures, args.repo))
            L.append("")
            L.append("| Format | fixtures | list entries | docs/s wall | docs/s CPU | peak RSS | errors |")
            L.append("|---|---:|---:|---:|---:|---:|---:|")
            for ext, (nf, ne, size, res) in formats.items():
                L.append("| %s | %d | %d | %s | %s | %.1f MiB | %d |"
                         % (ext, nf, ne, fmt_rate(rate(ne, res["wall"])),
                            fmt_rate(rate(ne, res["cpu"])), res["rss_kib"] / 1024,
                            res["check"]["errors"]))
            L.append("")
        else:
            L.append("Mixed formats: no fixtures under `%s` yet; run.sh measures each format "
                     "found there." % (os.path.relpath(fixtures, args.repo) if fixtures else "-"))
            L.append("")
    else:
        L.append("glotta was not available at `%s`; only the peer was measured." % glotta)
        L.append("")
        L.append("cld2_driver start-up (empty list): median %.1f ms."
                 % (cld2_startup["median"] * 1e3))
        L.append("")
    L.append("The CLD2 driver raises glibc's heap trim and mmap thresholds (CLD2 allocates "
             "large scoring buffers per call and otherwise pays brk and TLB flushes on every "
             "document); the *default malloc* row shows the cost without that.")
    L.append("")
    L.append("Notes: glotta reads at most its detection size (2048 bytes by default) of a plain "
             "text document; the CLD2 driver reads each document whole. The raw CLD2 run "
             "hands legacy-charset bytes to a UTF-8-only detector, so its answers for those "
             "documents are not meaningful; it bounds the detector's own cost.")
    L.append("")
    text = "\n".join(L)
    with open(args.results, "w") as f:
        f.write(text)
    print(text)
    with open(os.path.join(outdir, "raw.json"), "w") as f:
        json.dump({"results": {k: {kk: vv for kk, vv in v.items() if kk != "stderr"}
                               for k, v in results.items()},
                   "startup": startup, "cld2_startup": cld2_startup,
                   "machine": info}, f, indent=1)
    if have_glotta and results["glotta"]["stderr"]:
        with open(os.path.join(outdir, "glotta.stderr"), "w") as f:
            f.write(results["glotta"]["stderr"])


if __name__ == "__main__":
    main()
