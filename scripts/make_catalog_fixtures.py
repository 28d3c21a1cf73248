#!/usr/bin/env python3
"""Makes the message catalog samples of tests/data/dxfilter/catalog/: binary
`.mo` catalogs written with Python's struct as msgfmt lays them out (either
byte order), `.po` catalogs and a template, a damaged catalog and a look-alike,
byte for byte the same each time, and prints their rows of formats.tsv.

    scripts/make_catalog_fixtures.py >> tests/data/dxfilter/formats.tsv

The messages are the sentences of the e-mail samples (make_mail_fixtures.py)
cut at their commas, with the English ones for msgids."""
import gzip
import os
import re
import struct
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_mail_fixtures import SUBJECT, TEXT  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "catalog")


def pieces(lang):
    """Short messages, as a program's user interface has them."""
    parts = [p.strip() for p in re.split(r"[,.]\s+", TEXT[lang]) if p.strip()]
    return [SUBJECT[lang]] + [p.rstrip(".") for p in parts]


def header(charset, lang):
    return ("Project-Id-Version: demo 1.0\n"
            "Report-Msgid-Bugs-To: bugs@example.net\n"
            "POT-Creation-Date: 2024-01-01 10:00+0000\n"
            "PO-Revision-Date: 2024-01-02 10:00+0000\n"
            "Last-Translator: Translator <translator@example.net>\n"
            f"Language-Team: {lang} <{lang}@example.net>\n"
            f"Language: {lang}\n"
            "MIME-Version: 1.0\n"
            f"Content-Type: text/plain; charset={charset}\n"
            "Content-Transfer-Encoding: 8bit\n"
            "Plural-Forms: nplurals=2; plural=(n != 1);\n")


def messages(lang, template=False):
    """(msgid, msgstr) pairs: English ids, translations of `lang`, a plural
    entry and an entry with a context; empty translations for a template."""
    en, tr = pieces("en"), pieces(lang)
    pairs = []
    for i, text in enumerate(tr):
        msgid = en[i] if i < len(en) else f"Message number {i}"
        pairs.append((msgid, "" if template else text))
    pairs.append(("%d new message\0%d new messages",
                  "" if template else f"{tr[1]} (%d)\0{tr[2]} (%d)"))
    pairs.append(("menu\x04" + en[0], "" if template else tr[0]))
    return pairs


def mo(pairs, header_text, charset, big=False):
    """A binary catalog: the header entry first, entries sorted by msgid as
    msgfmt sorts them, no hash table."""
    entries = [(b"", header_text.encode("ascii"))]
    entries += sorted((i.encode(charset), s.encode(charset)) for i, s in pairs)
    order = ">" if big else "<"
    n = len(entries)
    orig_at, trans_at = 28, 28 + 8 * n
    data_at = 28 + 16 * n
    head = struct.pack(order + "7I", 0x950412DE, 0, n, orig_at, trans_at, 0, data_at)
    tables, strings = [b"", b""], b""
    for table in (0, 1):
        for entry in entries:
            s = entry[table]
            tables[table] += struct.pack(order + "2I", len(s), data_at + len(strings))
            strings += s + b"\0"
    return head + tables[0] + tables[1] + strings


def po_string(s):
    """A C string literal, cut after each "\\n" as msgmerge writes it."""
    esc = s.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t")
    lines = esc.split("\n")
    parts = [line + "\\n" for line in lines[:-1]] + ([lines[-1]] if lines[-1] else [])
    if len(parts) <= 1:
        return f'"{parts[0] if parts else ""}"\n'
    return '""\n' + "".join(f'"{p}"\n' for p in parts)


def po(pairs, header_text, lang):
    """A `.po` catalog: comments, the header entry, a fuzzy entry, plural and
    context entries, and an obsolete entry at the end."""
    out = [f"# {lang} translation of demo.\n",
           "# Copyright (C) 2024 the demo authors\n",
           "# This file is distributed under the same license as the demo package.\n",
           "#\n", "#, fuzzy\n" if lang == "template" else "",
           'msgid ""\n', "msgstr " + po_string(header_text), "\n"]
    for n, (msgid, msgstr) in enumerate(pairs):
        out.append(f"#: src/main.c:{10 * (n + 1)}\n")
        if n == 3 and msgstr:
            out.append("#, fuzzy\n")
        if "\x04" in msgid:
            context, msgid = msgid.split("\x04")
            out.append(f'msgctxt "{context}"\n')
        if "\0" in msgid:
            one, many = msgid.split("\0")
            forms = msgstr.split("\0") if msgstr else ["", ""]
            out.append("msgid " + po_string(one) + "msgid_plural " + po_string(many))
            out += [f"msgstr[{k}] " + po_string(f) for k, f in enumerate(forms)]
        else:
            out.append("msgid " + po_string(msgid) + "msgstr " + po_string(msgstr))
        out.append("\n")
    out.append('#~ msgid "The old message"\n#~ msgstr "Obsolete message text"\n')
    return "".join(out)


def write(name, data, grep, fmt=349):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
    print(f"catalog/{name}\t{fmt}\t{grep}")


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    de_mo = mo(messages("de"), header("UTF-8", "de"), "utf-8")
    write("de-utf8.mo", de_mo, "Donnerstag")
    write("fr-latin1-be.mo", mo(messages("fr"), header("ISO-8859-1", "fr"), "iso-8859-1", True),
          "rivière")
    write("ru-koi8r.mo", mo(messages("ru"), header("KOI8-R", "ru"), "koi8-r"), "субботу")
    # A charset ICU does not know: the bytes (windows-1252) decide.
    write("es-unknown-charset.mo", mo(messages("es"), header("x-unknown", "es"), "cp1252"),
          "reunión")
    # No translation at all: the msgids, in English.
    write("en-template.mo", mo(messages("de", True), header("UTF-8", "de"), "utf-8"), "library")
    write("de-latin1.po",
          po(messages("de"), header("ISO-8859-1", "de"), "de").encode("iso-8859-1"), "Donnerstag")
    write("fr-bom.po", b"\xEF\xBB\xBF" + po(messages("fr"), header("UTF-8", "fr"), "fr").encode(),
          "moulin")
    # A template stays text.
    write("demo.pot", po(messages("de", True), header("CHARSET", "template"), "template").encode(),
          "-", 2)
    write("de-utf8.mo.gz", gzip.compress(de_mo, 9, mtime=0), "Donnerstag", 347)
    # Cut in its strings: refused.
    write("truncated.mo", de_mo[: len(de_mo) * 2 // 3], "-")
    # C source that writes catalog lines stays text.
    write("write_po.c",
          b'#include <stdio.h>\n\n/* Writes one entry:\nmsgid "Open"\nmsgstr "Ouvrir"\n */\n'
          b'int main(void) {\n    printf("msgid \\"%s\\"\\nmsgstr \\"%s\\"\\n", "Open", "Ouvrir");\n'
          b"    return 0;\n}\n", "-", 2)


if __name__ == "__main__":
    sys.exit(main())
