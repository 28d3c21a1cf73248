#!/usr/bin/env python3
"""Makes the message catalog samples of tests/data/dxfilter/catalog/: binary
`.mo` catalogs written with Python's struct as msgfmt lays them out (either
byte order), `.po` catalogs and a template, Qt Linguist `.ts` catalogs and
binary `.qm` catalogs laid out as lrelease lays them out, XLIFF 1.2 and 2.0
documents, damaged catalogs and look-alikes, byte for byte the same each
time, and prints their rows of formats.tsv.

    scripts/make_catalog_fixtures.py >> tests/data/dxfilter/formats.tsv

The messages are the sentences of the e-mail samples (make_mail_fixtures.py)
cut at their commas, with the English ones for msgids, and a few Japanese
interface messages of our own."""
import bz2
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


# Interface messages in Japanese, for the Qt and XLIFF samples.
JAPANESE = [
    "ファイルを開く",
    "変更を保存してから閉じますか？",
    "ネットワークに接続できませんでした。しばらくしてからもう一度お試しください。",
    "印刷する前に、プレビューで用紙の向きと余白を確認してください。",
    "新しいバージョンが利用可能です。今すぐ更新しますか？",
    "このフォルダーには書き込む権限がありません。",
    "検索条件に一致する項目は見つかりませんでした。",
    "設定は次回の起動時に反映されます。",
    "添付ファイルが大きすぎるため、送信できません。",
    "パスワードが正しくありません。もう一度入力してください。",
]


def pieces(lang):
    """Short messages, as a program's user interface has them."""
    if lang == "ja":
        return JAPANESE
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


def long_comments(pairs, header_text):
    """A `.po` catalog whose header entry ends within the first 8 KiB and
    whose first translation starts after them: a long comment block of
    translator credits before the header, untranslated entries after it."""
    head_bytes = 8192
    credits = "".join(f"# Translator {n:03d} <translator{n:03d}@example.net>, 20{n % 24:02d}.\n"
                      for n in range(200))
    header_entry = 'msgid ""\nmsgstr ' + po_string(header_text) + "\n"
    untranslated = "".join(f'#: src/new.c:{n}\nmsgid "New message number {n}"\nmsgstr ""\n\n'
                           for n in range(40))
    comments = credits[: credits.rfind("\n", 0, head_bytes - 200 - len(header_entry)) + 1]
    doc = comments + header_entry + untranslated + po(pairs, header_text, "es").split("\n\n", 1)[1]
    data = doc.encode("utf-8")
    first = re.search(rb'\nmsgstr "[^"]', data)
    assert data.index(b"Content-Type") < head_bytes - 100
    assert first is None or first.start() > head_bytes
    return data


def credits_first(catalog):
    """`catalog` behind a comment block of translator credits so long that
    its header entry starts after the first 8 KiB (within the first 64 KiB,
    which the format rules read of such a head)."""
    credits = "".join(f"# Translator {n:03d} <translator{n:03d}@example.net>, 20{n % 24:02d}.\n"
                      for n in range(200))
    data = (credits + catalog).encode("utf-8")
    assert 8192 < data.index(b'msgid ""') < data.index(b"Content-Type") < 65536
    return data


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
    # A header comment block so long that the first translation comes after
    # the 8 KiB the format rules look at; the header names the language and
    # charset, so it is a catalog all the same. A template of that length
    # stays text.
    write("es-long-comments.po", long_comments(messages("es"), header("UTF-8", "es")), "reunión")
    write("long-comments.pot", long_comments(messages("de", True), header("CHARSET", "")), "-", 2)
    # The header entry itself after 8 KiB of credits: a catalog too, by a
    # second read; a template of that kind stays text.
    de_credits = credits_first(po(messages("de"), header("UTF-8", "de"), "de"))
    write("de-credits.po", de_credits, "Donnerstag")
    write("credits.pot",
          credits_first(po(messages("de", True), header("CHARSET", "template"), "template")), "-",
          2)
    write("de-utf8.mo.gz", gzip.compress(de_mo, 9, mtime=0), "Donnerstag", 347)
    # Compressed, the credits catalog is read past its head as it is plain.
    write("de-credits.po.gz", gzip.compress(de_credits, 9, mtime=0), "Donnerstag", 347)
    write("de-credits.po.bz2", bz2.compress(de_credits, 9), "Donnerstag", 347)
    # Cut in its strings: refused.
    write("truncated.mo", de_mo[: len(de_mo) * 2 // 3], "-")
    # C source that writes catalog lines stays text.
    write("write_po.c",
          b'#include <stdio.h>\n\n/* Writes one entry:\nmsgid "Open"\nmsgstr "Ouvrir"\n */\n'
          b'int main(void) {\n    printf("msgid \\"%s\\"\\nmsgstr \\"%s\\"\\n", "Open", "Ouvrir");\n'
          b"    return 0;\n}\n", "-", 2)
    qt_and_xliff()


# ---- Qt catalogs and XLIFF -------------------------------------------------------

QM_MAGIC = bytes.fromhex("3CB86418CAEF9C95CD211CBF60A1BDDD")


def qt_messages(lang, template=False):
    """Messages of a Qt catalog as dicts: the English source, the
    translation (a list of plural forms for a numerus message; None for an
    unfinished one without text), its type and comments. Besides the
    translated ones: a plural message, an unfinished one with a translation,
    one without, an obsolete and a vanished one (both in English, which must
    not be read)."""
    en, tr = pieces("en"), pieces(lang)
    out = []
    for i, text in enumerate(tr[:-1][:8]):
        out.append({"source": en[i] if i < len(en) else f"Message number {i}",
                    "translation": None if template else text,
                    "type": "unfinished" if template else None,
                    "comment": "menu entry" if i == 0 else "",
                    "extra": "Shown in the status bar" if i == 1 else ""})
    out.append({"source": "%n new message(s)", "numerus": True,
                "translation": None if template else [f"{tr[1]} (%n)", f"{tr[2]} (%n)"],
                "type": "unfinished" if template else None})
    out.append({"source": "Check the spelling", "translation": None if template else tr[-1],
                "type": "unfinished"})
    out.append({"source": "Print the page", "translation": None, "type": "unfinished"})
    out.append({"source": "Old message", "translation": "Obsolete English text",
                "type": "obsolete"})
    out.append({"source": "Removed message", "translation": "Vanished English text",
                "type": "vanished"})
    return out


def xml_escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def ts(lang, msgs):
    """A Qt Linguist source catalog as lupdate writes it."""
    out = ['<?xml version="1.0" encoding="utf-8"?>\n', "<!DOCTYPE TS>\n",
           f'<TS version="2.1" language="{lang}" sourcelanguage="en">\n',
           "<context>\n", "    <name>MainWindow</name>\n"]
    for n, m in enumerate(msgs):
        out.append('    <message numerus="yes">\n' if m.get("numerus") else "    <message>\n")
        out.append(f'        <location filename="../src/mainwindow.cpp" line="{20 * (n + 1)}"/>\n')
        out.append(f"        <source>{xml_escape(m['source'])}</source>\n")
        if m.get("comment"):
            out.append(f"        <comment>{xml_escape(m['comment'])}</comment>\n")
        if m.get("extra"):
            out.append(f"        <extracomment>{xml_escape(m['extra'])}</extracomment>\n")
            out.append("        <translatorcomment>Keep it short</translatorcomment>\n")
        kind = f' type="{m["type"]}"' if m.get("type") else ""
        tr = m["translation"]
        if m.get("numerus"):
            forms = tr or ["", ""]
            out.append(f"        <translation{kind}>\n")
            out += [f"            <numerusform>{xml_escape(f)}</numerusform>\n" for f in forms]
            out.append("        </translation>\n")
        else:
            out.append(f"        <translation{kind}>{xml_escape(tr or '')}</translation>\n")
        out.append("    </message>\n")
    out += ["</context>\n", "</TS>\n"]
    return "".join(out)


def elf_hash(data):
    h = 0
    for c in data:
        h = ((h << 4) + c) & 0xFFFFFFFF
        g = h & 0xF0000000
        if g:
            h ^= g >> 24
        h &= ~g & 0xFFFFFFFF
    return h or 1


def qm_section(tag, data):
    return struct.pack(">BI", tag, len(data)) + data


def qm(lang, msgs, null_translation=False):
    """A binary Qt catalog laid out as lrelease lays it out from the same
    messages: the language, the hashes of the source texts, the messages
    (translations in UTF-16BE, an empty comment, the source text and the
    context; sorted by source text), the numerus rules of n != 1. Obsolete
    and vanished messages and unfinished ones without a translation are
    left out, as lrelease leaves them out; `null_translation` keeps the
    last of those as a message whose translation is null (0xFFFFFFFF)."""
    kept = [m for m in msgs if m.get("type") not in ("obsolete", "vanished") and m["translation"]]
    if null_translation:
        kept += [m for m in msgs if m.get("type") == "unfinished" and not m["translation"]][-1:]
    body, hashes = b"", []
    for m in sorted(kept, key=lambda m: m["source"].encode()):
        source = m["source"].encode()
        hashes.append((elf_hash(source), len(body)))
        tr = m["translation"]
        if tr is None:
            body += struct.pack(">BI", 3, 0xFFFFFFFF)
        for form in tr if isinstance(tr, list) else [tr] if tr is not None else []:
            data = form.encode("utf-16-be")
            body += struct.pack(">BI", 3, len(data)) + data
        body += struct.pack(">BI", 8, 0)
        body += struct.pack(">BI", 6, len(source)) + source
        body += struct.pack(">BI", 7, len(b"MainWindow")) + b"MainWindow" + b"\x01"
    return (QM_MAGIC + qm_section(0xA7, lang.encode())
            + qm_section(0x42, b"".join(struct.pack(">II", h, o) for h, o in sorted(hashes)))
            + qm_section(0x69, body) + qm_section(0x88, b"\x01\x01"))


def xliff12(lang, template=False):
    """An XLIFF 1.2 document: units with inline markup (g, x, ph, bpt/ept,
    mrk), notes, a proposal (alt-trans) in English, a unit without target."""
    en, tr = pieces("en"), pieces(lang)
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n',
           '<xliff version="1.2" xmlns="urn:oasis:names:tc:xliff:document:1.2">\n',
           f'  <file original="ui.properties" source-language="en" target-language="{lang}"'
           ' datatype="plaintext">\n',
           "    <header>\n      <note>Exported by the demo tool</note>\n    </header>\n",
           "    <body>\n"]
    for i, text in enumerate(tr[:8]):
        src = xml_escape(en[i] if i < len(en) else f"Message number {i}")
        out.append(f'      <trans-unit id="m{i}">\n        <source>{src}</source>\n')
        if not template:
            t = xml_escape(text)
            if i == 1:
                t = f'<g id="1">{t}</g> <x id="2"/>'
            elif i == 2:
                t = f'<ph id="3">&lt;br/&gt;</ph>{t} <bpt id="4">&lt;b&gt;</bpt>!<ept id="4">&lt;/b&gt;</ept>'
            elif i == 3:
                t = f'<mrk mtype="term">{t}</mrk>'
            out.append(f'        <target state="translated">{t}</target>\n')
        if i == 4:
            out.append('        <alt-trans match-quality="80%">\n'
                       f"          <source>{src}</source>\n"
                       "          <target>A proposal in English that must not be read</target>\n"
                       "        </alt-trans>\n")
        out.append("        <note>Keep the tone friendly</note>\n      </trans-unit>\n")
    out.append('      <trans-unit id="untranslated">\n        <source>Print the page</source>\n'
               "      </trans-unit>\n")
    out += ["    </body>\n", "  </file>\n", "</xliff>\n"]
    return "".join(out)


def xliff20(lang):
    """An XLIFF 2.0 document: units with segments, inline markup (pc, ph,
    mrk), notes and an ignorable part."""
    en, tr = pieces("en"), pieces(lang)
    out = ['<?xml version="1.0" encoding="UTF-8"?>\n',
           f'<xliff xmlns="urn:oasis:names:tc:xliff:document:2.0" version="2.0" srcLang="en"'
           f' trgLang="{lang}">\n', '  <file id="f1">\n']
    for i, text in enumerate(tr[:8]):
        src = xml_escape(en[i] if i < len(en) else f"Message number {i}")
        t = xml_escape(text)
        if i == 1:
            t = f'<pc id="1">{t}</pc><ph id="2" disp="{{0}}"/>'
        elif i == 2:
            t = f'<mrk id="m1" type="term">{t}</mrk>'
        out.append(f'    <unit id="u{i}">\n'
                   "      <notes><note>Shown in the main window</note></notes>\n"
                   f'      <segment state="translated">\n        <source>{src}</source>\n'
                   f"        <target>{t}</target>\n      </segment>\n")
        if i == 0:
            out.append("      <ignorable>\n        <source> </source>\n"
                       "        <target> </target>\n      </ignorable>\n")
        out.append("    </unit>\n")
    out += ["  </file>\n", "</xliff>\n"]
    return "".join(out)


def qt_and_xliff():
    de, ru, ja = qt_messages("de"), qt_messages("ru"), qt_messages("ja")
    write("de.ts", ts("de_DE", de).encode(), "Donnerstag")
    write("ru.ts", ts("ru_RU", ru).encode(), "субботу")
    # UTF-16 with a byte-order mark, as some editors save it.
    write("ja-utf16.ts", ts("ja_JP", ja).replace('"utf-8"', '"utf-16"').encode("utf-16"),
          "ファイル")
    # Nothing translated yet: the sources, in English.
    write("template.ts", ts("de_DE", qt_messages("de", True)).encode(), "library")
    write("de.qm", qm("de_DE", de), "Donnerstag")
    ru_qm = qm("ru_RU", ru, True)
    write("ru.qm", ru_qm, "субботу")
    write("ja.qm", qm("ja_JP", ja), "ファイル")
    # Cut in its messages: those before the cut are read.
    write("truncated.qm", ru_qm[: len(ru_qm) * 2 // 3], "Встреча")
    # Cut in its hashes, before any message: refused.
    write("damaged.qm", ru_qm[:48], "-")
    write("de.ts.gz", gzip.compress(ts("de_DE", de).encode(), 9, mtime=0), "Donnerstag", 347)
    write("ru.xlf", xliff12("ru").encode(), "субботу")
    write("ja.xlf", xliff12("ja").encode(), "ファイル")
    write("de.xliff", xliff20("de").encode(), "Donnerstag")
    write("template.xlf", xliff12("de", True).encode(), "library")
    # Ordinary XML with sources and targets, or a TS element below its
    # root, stays XML.
    write("strings.xml",
          b'<?xml version="1.0" encoding="UTF-8"?>\n<translations>\n'
          b"  <entry><source>Open</source><target>Ouvrir</target></entry>\n"
          b"</translations>\n", "-", 285)
    write("project.xml",
          b'<?xml version="1.0"?>\n<project name="demo">\n  <TS version="2.1"/>\n'
          b'  <xliff version="1.2"/>\n</project>\n', "-", 285)


if __name__ == "__main__":
    sys.exit(main())
