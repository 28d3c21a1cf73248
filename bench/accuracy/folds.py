#!/usr/bin/env python3
"""Leave-one-source-out folds of the accuracy benchmark.

The extracted text is scripts/work/text/<textdir>/<source>/<doc>.txt (UTF-8, one paragraph per
line, one file per source document; <textdir> is a language, or a language's second script
such as sr-latn). The fold of a source S holds every text directory that has S and at least one
other source: its profiles are trained from all their other sources, and its samples are cut
from S only. No profile of a fold has seen S, so every sample is text from a source that
trained nothing the sample is compared with (a language whose only source is S keeps its
shipped profile, which makes the fold harder, never easier, and its own samples are not
counted).

A fold's profile is trained (the tool's -train, as scripts/data/train.sh runs it) from the shipped
profile's training list (scripts/work/samples, written by scripts/data/prepare.py: one file per
source) without the left-out source's file, cut to at most CAP bytes with every source keeping
its share. Trained profiles are kept in bench/work/accuracy/folds/cache by a hash of their
training text, so a profile is trained again only when its text changed.

  folds.py                  list the folds (source, text directories, documents)
  folds.py --train S...     train the profiles of those folds
"""
import hashlib
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
DATA_SCRIPTS = os.path.join(ROOT, "scripts", "data")
sys.path.insert(0, DATA_SCRIPTS)
from prepare import profiles  # noqa: E402

TEXT = os.path.join(ROOT, "scripts", "work", "text")
# The training lists of the shipped profiles (scripts/data/prepare.py): SAMPLES/<name>-<cs>.lst
# naming one file <source>.txt per source.
SAMPLES = os.path.join(ROOT, "scripts", "work", "samples")
# A fold's profile learns from at most this much text, its sources keeping their shares: more
# than any shipped profile takes, so that a fold's profile is the shipped one without the
# left-out source.
CAP = 4_000_000
WORK = os.path.join(ROOT, "bench", "work", "accuracy", "folds")


def layout(text=TEXT):
    """{textdir: {source: [document paths, sorted]}} of the extracted text."""
    out = {}
    if not os.path.isdir(text):
        return out
    for textdir in sorted(os.listdir(text)):
        tdir = os.path.join(text, textdir)
        if not os.path.isdir(tdir):
            continue
        for source in sorted(os.listdir(tdir)):
            sdir = os.path.join(tdir, source)
            if not os.path.isdir(sdir):
                continue
            docs = [os.path.join(sdir, fn) for fn in sorted(os.listdir(sdir))
                    if fn.endswith(".txt") and os.path.getsize(os.path.join(sdir, fn))]
            if docs:
                out.setdefault(textdir, {})[source] = docs
    return out


def profile_table():
    """{textdir: (language, [charsets])} of every shipped profile."""
    out = {}
    for lang, textdir, cs in profiles():
        out.setdefault(textdir, (lang, []))[1].append(cs)
    return out


def folds(lay):
    """({source: [textdirs tested in its fold]}, {textdir: only source}) for the layout."""
    table = profile_table()
    out, single = {}, {}
    for textdir, sources in lay.items():
        if textdir not in table:
            continue
        if len(sources) < 2:
            single[textdir] = next(iter(sources))
            continue
        for s in sources:
            out.setdefault(s, []).append(textdir)
    return out, single


def profile_name(stem):
    """The data file name (<language>-<charset>.lm) of a list LISTDIR/<stem>.lst."""
    for lang, textdir, cs in profiles():
        if stem in ("%s-%s" % (textdir, cs), "%s-%s" % (lang, cs)):
            return "%s-%s.lm" % (lang, cs)
    return None


def _digest(stem, lst):
    """Hash of a profile's name and of the bytes its training list names, in order."""
    h = hashlib.sha256(stem.encode() + b"\0")
    with open(lst) as f:
        for line in f:
            if line.strip():
                with open(line.strip(), "rb") as g:
                    h.update(hashlib.sha256(g.read()).digest())
    return h.hexdigest()


def cap_list(files, dest, cap):
    """Copies in dest of the training files without the left-out source, together at most cap
    bytes: every file cut by the same factor at a line end, so each source keeps its share."""
    total = sum(os.path.getsize(p) for p in files)
    factor = min(1.0, cap / total) if total else 1.0
    os.makedirs(dest, exist_ok=True)
    out = []
    for p in files:
        with open(p, "rb") as f:
            data = f.read()
        keep = int(len(data) * factor)
        if keep < len(data):
            end = data.rfind(b"\n", 0, keep)
            data = data[:end + 1] if end >= 0 else b""
        if data:
            q = os.path.join(dest, os.path.basename(p))
            with open(q, "wb") as f:
                f.write(data)
            out.append(q)
    return out


def train(glotta, lst, outdir):
    """Train outdir/<name>-<cs>.lm from the list lst (<name>-<cs>.lst) with the tool's -train,
    as scripts/data/train.sh does; the display name, which only goes to the language-name
    file and never into the profile, is the identifier here."""
    stem = os.path.basename(lst)[:-4]
    lang, cs = stem.split("-", 1)
    seed = os.path.join(outdir, "seed")
    shutil.rmtree(seed, ignore_errors=True)
    os.makedirs(seed)
    with open(os.path.join(seed, "seed.lm"), "w") as f:
        f.write("ID:seed\nCHARSET:utf8\n_seed_ 6\n")
    with open(os.path.join(seed, "seed-langlist.cfg"), "w") as f:
        f.write("seed.lm\n")
    with open(os.path.join(seed, "langname.cfg"), "w") as f:
        f.write("# written by bench/accuracy/folds.py while training\n")
    p = subprocess.run([glotta, "-train", "-language_id", lang, "-language_name", lang,
                        "-charset", cs, "-config", os.path.join(seed, "seed-langlist.cfg"),
                        "-data_path", seed, "@" + lst], capture_output=True,
                       env=dict(os.environ, LC_ALL="C"))
    made = os.path.join(seed, "%s-%s.lm" % (lang, cs))
    with open(made, "rb") if os.path.exists(made) else open(os.devnull, "rb") as f:
        lines = f.read().count(b"\n")
    if p.returncode != 0 or lines != 402:
        sys.exit("folds: training %s failed (exit %d, %d lines):\n%s" % (
            stem, p.returncode, lines, p.stdout.decode("utf-8", "replace")[-2000:]))
    os.replace(made, os.path.join(outdir, stem + ".lm"))
    shutil.rmtree(seed)


def train_fold(source, textdirs, glotta):
    """Train the fold's profiles: ({data file name: trained profile path}, [text directories
    left with no training text]). A profile is trained once for any one training text: folds
    that leave out a source some language does not use, and later runs on the same text, find
    it in bench/work/accuracy/folds/cache."""
    table = profile_table()
    fold = os.path.join(WORK, source)
    cache = os.path.join(WORK, "cache")
    lists, todo, lm = (os.path.join(fold, d) for d in ("lists", "todo", "lm"))
    for d in (lists, todo, lm):
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
    os.makedirs(cache, exist_ok=True)
    wanted, empty = {}, set()
    for textdir in textdirs:
        lang, charsets = table[textdir]
        for cs in charsets:
            full = next((os.path.join(SAMPLES, "%s-%s.lst" % (n, cs)) for n in (textdir, lang)
                         if os.path.exists(os.path.join(SAMPLES, "%s-%s.lst" % (n, cs)))), None)
            if full is None:
                sys.exit("folds: no training list of %s-%s in %s; run scripts/build_data.sh" %
                         (textdir, cs, SAMPLES))
            stem = os.path.basename(full)[:-4]
            with open(full) as f:
                files = [ln.strip() for ln in f if ln.strip()]
            files = [p for p in files if os.path.basename(p) != source + ".txt"]
            files = cap_list(files, os.path.join(lists, stem), CAP)
            if not files:
                empty.add(textdir)
                continue
            with open(os.path.join(lists, stem + ".lst"), "w") as f:
                f.writelines(p + "\n" for p in files)
            key = _digest(stem, os.path.join(lists, stem + ".lst"))
            if not os.path.exists(os.path.join(cache, key + ".lm")):
                shutil.copy(os.path.join(lists, stem + ".lst"), todo)
            wanted["%s-%s.lm" % (lang, cs)] = (stem, key)
    for stem, key in wanted.values():
        if os.path.exists(os.path.join(todo, stem + ".lst")):
            train(glotta, os.path.join(todo, stem + ".lst"), lm)
            os.replace(os.path.join(lm, stem + ".lm"), os.path.join(cache, key + ".lm"))
    return ({name: os.path.join(cache, key + ".lm") for name, (_, key) in wanted.items()},
            sorted(empty))


def fold_data(source, trained, shipped):
    """A data directory for the fold: the shipped profiles and list, with the fold's profiles
    in place of the shipped ones of the same name. Identifiers print as they are."""
    dest = os.path.join(WORK, source, "data")
    shutil.rmtree(dest, ignore_errors=True)
    os.makedirs(dest)
    for fn in sorted(os.listdir(shipped)):
        if fn.endswith(".lm"):
            os.symlink(os.path.abspath(trained.get(fn, os.path.join(shipped, fn))),
                       os.path.join(dest, fn))
    with open(os.path.join(shipped, "langlist.cfg")) as f:
        listed = f.read()
    names = {ln.strip() for ln in listed.splitlines()}
    extra = sorted(n for n in trained if n not in names)
    for n in extra:
        os.symlink(os.path.abspath(trained[n]), os.path.join(dest, n))
    with open(os.path.join(dest, "langlist.cfg"), "w") as f:
        f.write(listed.rstrip("\n") + "\n" + "".join(n + "\n" for n in extra))
    with open(os.path.join(dest, "langname.cfg"), "w") as f:
        f.write("# identifiers are printed as they are\n")
    return dest


def main():
    lay = layout()
    fl, single = folds(lay)
    if "--train" in sys.argv:
        glotta = os.environ.get("GLOTTA", os.path.join(ROOT, "build", "prefix", "bin", "glotta"))
        for s in sys.argv[sys.argv.index("--train") + 1:]:
            print("%s: %d profiles" % (s, len(train_fold(s, fl[s], glotta)[0])))
        return
    for s in sorted(fl):
        ndocs = sum(len(lay[t][s]) for t in fl[s])
        print("%-12s %3d text directories, %5d documents: %s" % (s, len(fl[s]), ndocs,
                                                                  " ".join(fl[s])))
    if single:
        print("single source (not measured): " +
              " ".join("%s (%s)" % (t, s) for t, s in sorted(single.items())))


if __name__ == "__main__":
    main()
