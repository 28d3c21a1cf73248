"""A model of glotta's n-gram classification of plain text, for calibrating the shipped
language list (order, minsize, minscore) quickly and before a tool build is at hand.

It follows the classifier's rules: noise compaction, the 1009-bucket table order, rank lists
of 99 members, comparison depth 400 with a penalty of 400, and the choice of profiles by the
charset the bytes prove (pure ASCII, UTF-8, or not settled) and by the dominant Unicode
script. The accuracy benchmark itself runs the real tool (run.sh); this model is only a
calibration aid, and calibrate.py says which one produced its figures.
"""
import os
import re

BUCKETS = 1009
DEPTH = 400
NOISE = re.compile(rb"[\x00-\x3f]+")
WORD = re.compile(rb"[\x40-\xff]+")
LOWER = bytes((b + 32) if 0x41 <= b <= 0x5A else b for b in range(256))
_HASH = {}


def hash_func(key):
    h = _HASH.get(key)
    if h is not None:
        return h
    h = 0x9E3779B9
    for b in key:
        v = (b - 256 if b >= 128 else b) & 0xFFFFFFFF
        h = ((((h << 26) | (h >> 6)) & 0xFFFFFFFF) + h) & 0xFFFFFFFF
        h ^= v
    _HASH[key] = h % BUCKETS
    return _HASH[key]


def compact_exact(data):
    out, seen = bytearray(), False
    for m in re.finditer(rb"[\x00-\x3f]+|[\x40-\xff]+", data):
        s = m.group(0)
        if s[0] < 0x40:
            seen = True
        else:
            if seen:
                out += b" "
                seen = False
            out += s
    return bytes(out)


def ranked(text):
    """Document n-grams in rank order (at most DEPTH)."""
    counts = {}
    for w in WORD.findall(text.translate(LOWER)):
        if len(w) < 2:
            continue
        grams = [w[i:i + 1] for i in range(len(w))]
        p = b"_" + w + b"_"
        for n in range(2, 6):
            grams += [p[i:i + n] for i in range(len(p) - n + 1)]
        for g in grams:
            counts[g] = counts.get(g, 0) + 1
    heads, overflow = {}, []
    for g in counts:
        b = hash_func(g)
        if b in heads:
            overflow.append(g)
        else:
            heads[b] = g
    order = [heads[b] for b in sorted(heads)] + overflow
    lists = {}
    for g in order:
        c = counts[g]
        li = 500 - c if c < 500 else 0
        members = lists.setdefault(li, [])
        if len(members) < 99:
            members.append(g)
    out = []
    for li in sorted(lists):
        out += lists[li]
        if len(out) >= DEPTH:
            break
    return out[:DEPTH]


def score(doc, model):
    if not doc:
        return 0.0
    d = 0
    for p, g in enumerate(doc):
        r = model.get(g, 0)
        d += abs(p + 1 - r) if r > 0 else 400
    return 1.0 - d / (400.0 * len(doc))


class Profile:
    def __init__(self, path):
        self.name = os.path.basename(path)
        self.ranks = {}
        n = 0
        with open(path, "rb") as f:
            for line in f:
                if line.startswith(b"ID:"):
                    self.lang = line[3:].strip().decode()
                elif line.startswith(b"CHARSET:"):
                    self.charset = line[8:].strip().decode()
                elif line[:1] in (b"#", b"\n", b"\r"):
                    continue
                else:
                    n += 1
                    g = line.split(b" ", 1)[0]
                    if g and g not in self.ranks:
                        self.ranks[g] = n


def load(data_dir):
    """Profiles of data_dir/langlist.cfg in list order, and the settings."""
    profs, minsize, minscore = [], 0, 0.0
    with open(os.path.join(data_dir, "langlist.cfg")) as f:
        for line in f:
            if line[:1] in ("#", "\n", "\r"):
                continue
            line = line.strip()
            low = line.lower()
            if low.startswith("minsize:"):
                minsize = int(line[8:].strip() or 0)
            elif low.startswith("minscore:"):
                minscore = float(line[9:].strip() or 0)
            elif low.startswith("unknown:"):
                continue
            elif line:
                profs.append(Profile(os.path.join(data_dir, line)))
    return profs, minsize, minscore


# Script of the dominant Unicode range, reduced to what decides the profile choice.
def dominant_script(text):
    ascii_l = latin1 = latin_ext = 0
    counts = {}
    total = 0
    for ch in text:
        o = ord(ch)
        if o <= 0x40:
            continue
        total += 1
        if 0x370 <= o <= 0x3FF or 0x1F00 <= o <= 0x1FFF:
            k = "el"
        elif 0x600 <= o <= 0x6FF or 0xFB50 <= o <= 0xFDFF or 0xFE70 <= o <= 0xFEFE:
            k = "ar"
        elif 0x590 <= o <= 0x5FF:
            k = "he"
        elif 0x400 <= o <= 0x4FF:
            k = "ru"
        elif 0xE00 <= o <= 0xE7F:
            k = "th"
        elif 0x900 <= o <= 0x97F:
            k = "hi"
        elif 0x41 <= o <= 0x7F:
            ascii_l += 1
            continue
        elif 0x80 <= o <= 0xFF:
            latin1 += 1
            latin_ext += 1
            continue
        elif 0x100 <= o <= 0x24F or 0x1E00 <= o <= 0x1EFF:
            latin_ext += 1
            continue
        elif 0x3040 <= o <= 0x30FF or 0x2E80 <= o <= 0x9FFF or 0xAC00 <= o <= 0xD7A3:
            k = "cjk"
        else:
            continue
        counts[k] = counts.get(k, 0) + 1
    if not total:
        return "un"
    if latin1 == latin_ext:
        latin_ext = 0
    best, bestn = None, 0
    for k in sorted(counts):
        if counts[k] > bestn:
            best, bestn = k, counts[k]
    latin_best = max(latin1, latin_ext)
    if best is None or latin_best >= bestn:
        return "latin" if (ascii_l or latin_best) else "un"
    if ascii_l + latin1 > bestn or ascii_l + latin_ext > bestn:
        return "latin"
    return best


def classify(data, profs, minsize=0, minscore=0.0):
    """[(lang, charset, score)] best first, as the tool reports for plain text."""
    try:
        if max(data, default=0) < 0x80:
            cs = 7
        else:
            data.decode("utf-8")
            cs = 53
    except UnicodeDecodeError:
        cs = 0
    text = compact_exact(data)
    if cs == 53:
        script = dominant_script(text.decode("utf-8"))
        if script == "un":
            return [("un", "Unknown", 0.0)]
        if script in ("latin", "ar", "hi"):
            allowed = lambda p: p.charset == "utf8"  # noqa: E731
        elif script == "ru":
            text = text.decode("utf-8").encode("cp1251", "replace")
            allowed = lambda p: p.charset == "1251"  # noqa: E731
        else:
            return [(script, "Unknown", 1.0)]
    elif cs == 7:
        allowed = lambda p: p.charset in ("1252", "iso-8859-1")  # noqa: E731
    else:
        allowed = lambda p: p.charset != "utf8"  # noqa: E731
    if len(text) <= minsize:
        return [("un", "Unknown", 0.0)]
    doc = ranked(text)
    cands = []
    for p in profs:
        if p.lang == "en" or allowed(p):
            s = score(doc, p.ranks)
            if s >= minscore:
                cands.append((p.lang, p.charset, s))
    cands.sort(key=lambda c: -c[2])
    if not cands:
        return [("un", "Unknown", 0.0)]
    if cs == 53:
        cands = [(l, "utf8" if c != "1251" else c, s) for l, c, s in cands]
    return cands
