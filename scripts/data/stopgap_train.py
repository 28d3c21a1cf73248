#!/usr/bin/env python3
"""STOPGAP trainer: writes a .lm profile the way `glotta -train` does, for use only while the
tool's training mode is not yet available. The shipped profiles are made by `glotta -train`;
build_data.sh uses this script only when GLOTTA_STOPGAP_TRAIN=1.

It reproduces the tool byte for byte: each sample file is read in blocks of 8192 bytes and
each block is cut into words separately (bytes 0x00-0x3F separate words, ASCII capitals are
folded), words of one byte are ignored, every word gives its bytes as 1-grams and the 2- to
5-grams of the word padded with '_' on both sides. The n-grams live in a 1009-bucket chained
table (first n-gram of a bucket in the bucket's head, later ones in creation order after all
heads); a stable sort by descending count of that table order gives the saved order, the first
400 entries are written as "ngram length" lines, and empty entries pad with " 0".

usage: stopgap_train.py -language_id ID -charset CS -data_path DIR @LIST | FILE
"""
import re
import sys

BUCKETS = 1009
BLOCK = 8192
DEPTH = 400


def hash_func(key):
    h = 0x9E3779B9
    for b in key:
        v = (b - 256 if b >= 128 else b) & 0xFFFFFFFF
        h = ((((h << 26) | (h >> 6)) & 0xFFFFFFFF) + h) & 0xFFFFFFFF
        h ^= v
    return h % BUCKETS


LOWER = bytes((b + 32) if 0x41 <= b <= 0x5A else b for b in range(256))


WORD = re.compile(rb"[\x40-\xff]+")


def words_of(block):
    """Words of one block in order (bytes >= 0x40 are word bytes)."""
    return WORD.findall(block)


def train(paths):
    word_counts = {}  # first-appearance order
    for path in paths:
        with open(path, "rb") as f:
            while True:
                block = f.read(BLOCK)
                if not block:
                    break
                for w in words_of(block.translate(LOWER)):
                    if len(w) >= 2:
                        word_counts[w] = word_counts.get(w, 0) + 1
    counts = {}
    for w, c in word_counts.items():
        grams = [w[i:i + 1] for i in range(len(w))]
        p = b"_" + w + b"_"
        for n in range(2, 6):
            grams += [p[i:i + n] for i in range(len(p) - n + 1)]
        for g in grams:
            counts[g] = counts.get(g, 0) + c
    heads, overflow = {}, []
    for g in counts:  # creation order
        b = hash_func(g)
        if b in heads:
            overflow.append(g)
        else:
            heads[b] = g
    table = [(heads[b], counts[heads[b]]) if b in heads else (b"", 0) for b in range(BUCKETS)]
    table += [(g, counts[g]) for g in overflow]
    table.sort(key=lambda e: -e[1])  # stable: equal counts keep table order
    return table[:DEPTH] + [(b"", 0)] * max(0, DEPTH - len(table))


def main(argv):
    args, i, inp = {}, 0, None
    while i < len(argv):
        if argv[i].startswith("-"):
            args[argv[i]] = argv[i + 1]
            i += 2
        else:
            inp = argv[i]
            i += 1
    if inp.startswith("@"):
        with open(inp[1:]) as f:
            paths = [ln.rstrip("\n") for ln in f if ln.strip()]
    else:
        paths = [inp]
    lang, cs, data = args["-language_id"], args["-charset"], args["-data_path"]
    out = b"ID:%s\nCHARSET:%s\n" % (lang.encode(), cs.encode())
    for g, _ in train(paths):
        out += b"%s %d\n" % (g, len(g))
    with open("%s/%s-%s.lm" % (data, lang, cs), "wb") as f:
        f.write(out)


if __name__ == "__main__":
    assert hash_func(b"") == 947 and hash_func(b"a") == 746 and hash_func(b"abc") == 776
    assert hash_func(b"_th") == 322 and hash_func(b"the") == 920
    assert hash_func(b"\xe9t") == 64
    main(sys.argv[1:])
