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

Training goes through the data scripts:
  scripts/data/prepare.py --exclude S --out LISTDIR LANG...   writes LISTDIR/<name>-<cs>.lst
  scripts/data/train.sh LISTDIR OUTDIR                        trains OUTDIR/<name>-<cs>.lm
Trained profiles are kept under bench/work/accuracy/folds/<S>/ and trained again only when
their training text changed.

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


def _digest(lst):
    """Hash of a training list and of every byte it names."""
    h = hashlib.sha256()
    with open(lst, "rb") as f:
        listing = f.read()
    h.update(listing)
    for line in listing.decode("utf-8").splitlines():
        if line.strip():
            with open(line.strip(), "rb") as g:
                h.update(hashlib.sha256(g.read()).digest())
    return h.hexdigest()


def train_fold(source, textdirs, glotta):
    """Train the fold's profiles; {data file name: trained profile path}."""
    table = profile_table()
    langs = sorted({table[t][0] for t in textdirs})
    fold = os.path.join(WORK, source)
    lists, todo, lm = (os.path.join(fold, d) for d in ("lists", "todo", "lm"))
    for d in (lists, todo):
        shutil.rmtree(d, ignore_errors=True)
    os.makedirs(lists)
    os.makedirs(todo)
    os.makedirs(lm, exist_ok=True)
    subprocess.run([sys.executable, os.path.join(DATA_SCRIPTS, "prepare.py"), "--exclude",
                    source, "--out", lists] + langs, check=True, stdout=subprocess.DEVNULL)
    wanted = {}
    for fn in sorted(os.listdir(lists)):
        if not fn.endswith(".lst"):
            continue
        stem = fn[:-4]
        name = profile_name(stem)
        textdir = next((t for t in textdirs for c in table[t][1]
                        if stem in ("%s-%s" % (t, c), "%s-%s" % (table[t][0], c))), None)
        if name is None or textdir is None:
            continue  # a profile of a text directory that this fold does not test
        key = _digest(os.path.join(lists, fn))
        keyfile = os.path.join(lm, stem + ".key")
        have = open(keyfile).read() if os.path.exists(keyfile) else ""
        if have != key or not os.path.exists(os.path.join(lm, stem + ".lm")):
            shutil.copy(os.path.join(lists, fn), todo)
            with open(keyfile, "w") as f:
                f.write("")
        wanted[name] = (stem, key)
    if os.listdir(todo):
        env = dict(os.environ, GLOTTA=glotta)
        subprocess.run(["nice", "-n", "10", os.path.join(DATA_SCRIPTS, "train.sh"), todo, lm],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        for fn in os.listdir(todo):
            stem = fn[:-4]
            if not os.path.exists(os.path.join(lm, stem + ".lm")):
                sys.exit("folds: training %s without %s wrote no profile" % (stem, source))
            with open(os.path.join(lm, stem + ".key"), "w") as f:
                f.write(_digest(os.path.join(todo, fn)))
    return {name: os.path.join(lm, stem + ".lm") for name, (stem, _) in wanted.items()}


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
            print("%s: %d profiles" % (s, len(train_fold(s, fl[s], glotta))))
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
