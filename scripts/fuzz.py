#!/usr/bin/env python3
"""Mutation fuzzing of an installed glotta.

Mutates seed documents (plain text, markup, RTF, zip-based office files,
other binaries), language profiles, language lists, language-name files and
training samples, runs the installed launcher over them (bulk lists, so one
process handles many documents, and single-document runs) and reports:

  - every AddressSanitizer / LeakSanitizer / UndefinedBehaviorSanitizer report,
  - every exit status that is neither 0 nor a result code of the engine,
  - every run that outlived its time limit (a hang),
  - every document that got neither a result record nor an error line, or got
    both (lost or doubled documents), and malformed records.

Inputs that fail are narrowed down to the smallest failing list and copied
into the work directory's `failures/` (git-ignored). Only the Python 3
standard library is used; the same --seed gives the same inputs.

  scripts/fuzz.py --prefix build-san/prefix [--seed N] [--count N]
                  [--kinds text,markup,rtf,office,binary,profile,config,train,list,cmdline]
  scripts/fuzz.py --smoke     a few dozen mutations of every kind, seconds
"""

import argparse
import io
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import time
import warnings
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent

DOC_KINDS = ("text", "markup", "rtf", "office", "binary", "msdoc")
DATA_KINDS = ("profile", "config", "train", "list", "cmdline")
ALL_KINDS = DOC_KINDS + DATA_KINDS

# Result codes of the engine; an exit status is the low byte of the last one.
CODES = {
    0: "SUCCESS",
    -19999: "Failed to identify language",
    -19998: "Encounted null pointer in internal function",
    -19997: "Out of memory",
    -19996: "File does not exist",
    -19995: "Open file failed",
    -19994: "The file for processing is an empty file",
    -19993: "The file is not an ordinary file",
    -19992: "The language configuration file is not available",
    -19991: "The language configuration file has bad format",
    -19990: "The language data file has bad format",
    -19989: "Language data are not available",
    -19988: "Failed to load language data files",
    -19987: "Couldn't find DX filters",
    -19986: "Couldn't load DX library",
    -19985: "The file can not be filtered by DX",
    -19984: "DX open stream failed",
    -19983: "DX filter stream failed",
    -19982: "Internal mutex error",
    -19981: "Charset convertion failed",
    -19980: "Couldn't create training language profile",
    -19979: "Couldn't create log file",
    -19978: "The language detection configuration file is empty",
}
# 1: langname.cfg missing after training; 74: output lost to a write error.
SPECIFIED_STATUS = {c & 0xFF for c in CODES} | {(-c) & 0xFF for c in CODES} | {1, 74}
SANITIZER_EXIT = 86
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "AddressSanitizer:DEADLYSIGNAL", "UndefinedBehaviorSanitizer",
                   "SUMMARY: AddressSanitizer", "SUMMARY: UndefinedBehaviorSanitizer")


def sanitizer_report(text_err):
    """The problem string of the first sanitizer report in stderr text, or None."""
    for mark in SANITIZER_MARKS:
        if mark in text_err:
            i = text_err.find(mark)
            return "sanitizer: " + text_err[max(0, i - 200):i + 3000]
    return None


def run_failure(rc, text_err):
    """Why a run broke off (hang, sanitizer report, signal), or None."""
    if rc is None:
        return "hang (timeout)"
    report = sanitizer_report(text_err)
    if report:
        return report
    if rc < 0:
        return "killed by signal %d" % -rc
    return None


def status_problem(rc):
    """The problem with an exit status that is no result code, or None."""
    if rc == SANITIZER_EXIT or rc not in SPECIFIED_STATUS:
        return "exit status %d is not a result code" % rc
    return None


OFFICE_EXT = {".docx", ".xlsx", ".pptx", ".odt", ".ods", ".odp", ".epub", ".zip"}
MARKUP_EXT = {".html", ".htm", ".xhtml", ".xml", ".sgml", ".sgm"}
TEXT_EXT = {".txt", ".text", ".csv"}
SKIP_EXT = {".pdf", ".lm", ".cfg", ".tsv", ".sh", ".md"}

# What the tool itself prints besides records; any other line on standard
# error or standard output comes from something that must stay silent (a
# library writing warnings, say).
STDERR_LINES = re.compile(
    r"Error -?\d+: .* \(for document: .*\)"
    r"|Error -?\d+: .* \(in initializing language detection module\)\."
    r"|Warn -?\d+: .* \(in initializing language detection module\)\."
    r"|'-n' has an invalid value, default value is used\."
    r"|'-buffer_size' has an invalid value, default value is used\."
    r"|Couldn't (open input|create output|create bif) file .*"
    r"|Couldn't write (output file|bif file|configuration file|profile) .*: .*"
    r"|Couldn't write standard output: .*"
    r"|Document path longer than \d+ characters, skipped: .*"
    r"|glotta: .*", re.S)
STDOUT_LINES = re.compile(
    r"glotta - Tolmar, Inc\. Version 5\.5\.0 \(Feb  7 2004\)|glotta done"
    r"|Coundn't open configuration file langname\.cfg|Processed \d+ document\."
    r"| Error in LangTrain -?\d+", re.S)


def stray_line(text, allowed):
    """The first line of `text` that `allowed` does not match, or None. A BIF
    file name holds the language as the document declared it, line feeds and
    all, so the lines after a "Couldn't create bif file" line may be its rest."""
    if not text:
        return None
    in_bif_name = False
    for line in text[:-1].split("\n") if text.endswith("\n") else text.split("\n"):
        if allowed.fullmatch(line):
            in_bif_name = line.startswith("Couldn't create bif file ")
        elif not in_bif_name:
            return line
    return None


# ---------------------------------------------------------------- mutations

INTERESTING_BYTES = [0x00, 0x01, 0x0A, 0x0D, 0x1B, 0x20, 0x3C, 0x3E, 0x7F, 0x80, 0x81,
                     0xA0, 0xBF, 0xC0, 0xC1, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5,
                     0xF8, 0xFE, 0xFF]
INTERESTING_INTS = [0, 1, 2, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0x8000, 0xFFFF, 0x10000,
                    0x7FFFFFFF, 0x80000000, 0xFFFFFFFF]


def pos(rng, n):
    """A position in 0..n, most often near the start, where the engine looks."""
    if n and rng.random() < 0.6:
        return rng.randint(0, min(n, 3000))
    return rng.randint(0, n)


def rand_bytes(rng, n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def m_flip(rng, data, _):
    if not data:
        return data
    b = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        i = min(pos(rng, len(b)), len(b) - 1)
        b[i] ^= 1 << rng.randrange(8)
    return bytes(b)


def m_set_bytes(rng, data, _):
    if not data:
        return data
    b = bytearray(data)
    for _ in range(rng.randint(1, 16)):
        b[min(pos(rng, len(b)), len(b) - 1)] = rng.choice(INTERESTING_BYTES) if rng.random() < 0.6 \
            else rng.getrandbits(8)
    return bytes(b)


def m_insert(rng, data, _):
    i = pos(rng, len(data))
    n = rng.choice([1, 2, 3, 4, 16, 256, 4096])
    return data[:i] + rand_bytes(rng, n) + data[i:]


def m_delete(rng, data, _):
    if len(data) < 2:
        return data
    i = rng.randrange(len(data))
    n = rng.randint(1, max(1, min(len(data) - i, rng.choice([1, 4, 64, 1024, len(data)]))))
    return data[:i] + data[i + n:]


def m_truncate(rng, data, _):
    if not data:
        return data
    return data[:pos(rng, len(data) - 1)]


def m_splice(rng, data, others):
    if not others:
        return data
    other = rng.choice(others)
    if not other or not data:
        return data + other
    i = rng.randrange(len(data))
    j = rng.randrange(len(other))
    return data[:i] + other[j:j + rng.randint(1, 4096)] + data[i:]


def m_repeat(rng, data, _):
    if not data:
        return data
    i = rng.randrange(len(data))
    chunk = data[i:i + rng.randint(1, 64)]
    times = rng.choice([2, 10, 100, 1000, 10000])
    return data[:i] + chunk * times + data[i:]


def m_int_field(rng, data, _):
    if len(data) < 4:
        return data
    b = bytearray(data)
    i = rng.randrange(len(b) - 3)
    v = rng.choice(INTERESTING_INTS)
    fmt = rng.choice(["<I", ">I", "<H", ">H"])
    v &= 0xFFFFFFFF if fmt[1] == "I" else 0xFFFF
    struct.pack_into(fmt, b, i, v)
    return bytes(b)


def m_ascii_number(rng, data, _):
    """Replaces one run of decimal digits by an edge value."""
    spans = [m.span() for m in re.finditer(rb"-?\d+", data[:200000])]
    if not spans:
        return data
    s, e = rng.choice(spans)
    v = rng.choice([b"0", b"-1", b"-0", b"65535", b"65536", b"2147483647", b"2147483648",
                    b"-2147483648", b"-2147483649", b"4294967296", b"99999999999999999999",
                    b"1114111", b"1114112", b"55296", b"57343"])
    return data[:s] + v + data[e:]


GENERIC = [m_flip, m_set_bytes, m_insert, m_delete, m_truncate, m_splice, m_repeat,
           m_int_field, m_ascii_number]


def insert_token(rng, data, tokens):
    i = pos(rng, len(data))
    tok = rng.choice(tokens)
    if callable(tok):
        tok = tok(rng)
    return data[:i] + tok + data[i:]


def odd_name(rng):
    return rng.choice([b"", b" ", b"x", b"utf-8\x00", b"UTF-16", b"utf-32", b"ucs-2",
                       b"iso-2022-jp", b"iso-8859-99", b"windows-99999", b"cp1252" * 60,
                       b"\xff\xfe", b"\xe9\xe9", b"a" * 300, b"../../etc", b"%s%n%d",
                       b"x-user-defined", b"gb18030", b"big5-hkscs", b"\"'", b"koi8-u",
                       b"en-" + b"x" * 500, b"zh-TW", b"ZH", b"un", b"-", b"_", b"\t\n",
                       rand_bytes(rng, rng.randint(1, 40))])


MARKUP_TOKENS = [
    b"<", b">", b"</", b"<!--", b"-->", b"<![CDATA[", b"]]>", b"<!DOCTYPE html>", b"<?xml",
    b"<?xml version=\"1.0\" encoding=\"", b"<html", b"</html>", b"<script>", b"</script>",
    b"<style>", b"<title>", b"<p>", b"</p>", b"&", b"&amp", b"&#", b"&#x", b"&#0;",
    b"&#xD800;", b"&#xDFFF;", b"&#x110000;", b"&#99999999999;", b"&#x7FFFFFFF;", b"&nbsp",
    b"&" + b"a" * 200 + b";", b"&#" + b"9" * 100 + b";", b"<!ENTITY x \"y\">",
    b"<![if !IE]>", b"<!>", b"<?", b"?>", b"<a b=\"", b"<a b='", b"\"", b"'",
    lambda r: b"<meta charset=\"" + odd_name(r) + b"\">",
    lambda r: b"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
    odd_name(r) + b"\">",
    lambda r: b"<meta http-equiv=\"content-language\" content=\"" + odd_name(r) + b"\">",
    lambda r: b"<html lang=\"" + odd_name(r) + b"\">",
    lambda r: b"<html xml:lang=" + odd_name(r) + b">",
    lambda r: b"<?xml version=\"1.0\" encoding=\"" + odd_name(r) + b"\"?>",
    lambda r: b"<?xml version='1.0' encoding=" + odd_name(r),
    lambda r: b"<a title=\"" + b"x" * r.choice([1000, 70000, 300000]) + b"\">",
    lambda r: b"<" + b"d" * r.choice([300, 5000]) + b" " + b"k=v " * 2000 + b">",
    lambda r: b"<b>" * r.choice([100, 10000, 100000]),
    lambda r: b"</b>" * r.choice([100, 10000]),
    lambda r: b"<!--" * r.randint(1, 50),
    lambda r: b"&#" + str(r.randint(0, 0x10FFFF + 5)).encode() + b";",
    lambda r: b"&#x" + b"%X" % r.randint(0, 0xFFFFFFFF) + b";",
]


CHARSET_NAMES = (
    "windows-1250 windows-1251 windows-1252 cp1253 1254 1255 1256 1257 1258 ibm037 ibm424 437 "
    "500 737 775 850 851 852 855 856 857 860 861 862 863 864 865 866 869 874 tis-620 875 "
    "iso-8859-14 iso-8859-15 iso-8859-1 latin1 iso-8859-2 latin2 iso-8859-3 iso-8859-4 "
    "iso-8859-5 cyrillic iso-8859-6 arabic iso-8859-7 greek iso-8859-8 hebrew visual logical "
    "iso-8859-9 iso-8859 koi8-r 878 euc-big5 big5 950 iso-2022-cn euc-gb euc-cn 936 gb2312 "
    "iso-2022-kr euc-ksc euc-kr 1363 949 ksc_5601 iso-2022-jp euc-jp jis 932 shift_jis utf-16be "
    "utf-16le iso-10646 unicode utf-16 utf-8 65001 utf-7 lmbcs").split()


def declared_doc(rng):
    """Markup that declares a charset (and often a language) over bytes of
    another or of the same charset, with references: the conversion paths."""
    name = rng.choice(CHARSET_NAMES).encode()
    lang = rng.choice([b"", b"en", b"fr", b"ru", b"ja", b"zh-tw", b"zt", b"ko", b"xx", b"de-at"])
    body = rng.choice([
        "Привет мир это текст".encode(rng.choice(["cp1251", "koi8-r", "utf-8", "utf-16-le"])),
        "日本語のテキストです".encode(rng.choice(["shift_jis", "euc-jp", "utf-8", "utf-16-be"])),
        "中文文本測試".encode(rng.choice(["gb18030", "big5", "utf-8"])),
        "Größe Straße éèà".encode(rng.choice(["latin-1", "cp1252", "utf-8", "utf-16"])),
        rand_bytes(rng, rng.choice([1, 3, 255, 2047, 5000])),
        bytes(range(256)) * rng.choice([1, 8]),
    ])
    refs = b"".join(rng.choice([b"&eacute;", b"&#233;", b"&#x4E2D;", b"&#1046;", b"&Alpha;",
                               b"&#x1F600;", b"&#xD800;", b"&#65;", b"&#0;", b"&amp;", b"&lt;",
                               b"&#x10FFFF;", b"&#4294967295;", b"&sigmaf;", b"&yuml "])
                    for _ in range(rng.randint(0, 300)))
    if rng.random() < 0.5:
        parts = [rng.choice([b"<html lang=\"" + lang + b"\">", b"<html>"]),
                 rng.choice([b"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
                             name + b"\">",
                             b"<meta http-equiv=content-type content=\"text/html;charset=" +
                             name + b"\">"]),
                 rng.choice([b"", b"<meta http-equiv=\"Content-Language\" content=\"" + lang +
                             b"\">"]),
                 b"<body><p>", body, refs, body[:rng.randrange(len(body) + 1)], b"</p>"]
    else:
        parts = [b"<?xml version=\"1.0\" encoding=\"" + name + b"\"?>\n<doc>", body, refs,
                 b"</doc>"]
    rng.shuffle(parts) if rng.random() < 0.1 else None
    return b"".join(parts)


def m_markup(rng, data, _):
    if rng.random() < 0.25:
        data = declared_doc(rng)
        if rng.random() < 0.5:
            return data
    n = rng.randint(1, 4)
    for _ in range(n):
        data = insert_token(rng, data, MARKUP_TOKENS)
    if rng.random() < 0.2:
        # unbalanced: drop every closing bracket of a region
        i = rng.randint(0, len(data))
        data = data[:i] + data[i:i + 2000].replace(b">", b"") + data[i + 2000:]
    return data


def rtf_words(rng):
    return rng.choice([
        b"\\u" + str(rng.choice([-32769, -32768, -1, 0, 55296, 56320, 65535, 65536,
                                 2147483647, 99999999999])).encode() + b"?",
        b"\\'" + rng.choice([b"", b"z", b"zz", b"0", b"ff", b"00", b"8"]),
        b"\\bin" + str(rng.choice([-5, 0, 1, 10, 100000, 2147483647, 99999999999])).encode() + b" ",
        b"\\uc" + str(rng.choice([-1, 0, 5, 99999])).encode() + b" ",
        b"\\ansicpg" + str(rng.choice([0, 1, 932, 936, 949, 950, 1200, 65001, 99999])).encode(),
        b"\\fcharset" + str(rng.choice([0, 2, 77, 128, 134, 136, 161, 204, 222, 238, 255,
                                         256, -1])).encode() + b" ",
        b"\\f" + str(rng.randint(-1, 100000)).encode() + b" ",
        b"\\" + b"a" * rng.choice([10, 32, 33, 100, 5000]),
        b"\\" + b"a" + b"9" * rng.choice([10, 40]),
        b"\\*\\", b"{\\*\\unknown ", b"\\", b"\\\\", b"\\{", b"\\}", b"\\~", b"\\-",
        b"{\\fonttbl", b"{\\colortbl;", b"{\\stylesheet", b"{\\info{\\title x}",
        b"{\\pict\\pngblip " + b"0f" * 5000, b"\\par", b"\\line", b"\\tab", b"\\cell",
        b"\\upr{", b"{\\ud{", b"\\'", b"\\u", b"\\bin", b"\\objdata ",
        b"{" * rng.choice([10, 100, 1000, 100000]),
        b"}" * rng.choice([1, 10, 1000]),
    ])


def m_rtf(rng, data, _):
    for _ in range(rng.randint(1, 4)):
        data = insert_token(rng, data, [rtf_words])
    return data


def m_text(rng, data, _):
    choice = rng.randrange(12)
    if choice == 0:  # BOM with odd-length rest
        bom = rng.choice([b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff", b"\xff\xfe\x00\x00",
                          b"\x00\x00\xfe\xff", b"\xef\xbb", b"\xff"])
        body = data[:rng.randrange(len(data) + 1)]
        if len(body) % 2 == 0:
            body += b"\x41"
        return bom + body
    if choice == 1:  # UTF-16 with lone surrogates
        le = rng.random() < 0.5
        units = [rng.choice([0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0x0041, 0x00E9, 0x4E2D, 0xFFFE,
                             0xFFFF, 0x0000]) for _ in range(rng.randint(1, 400))]
        body = b"".join(struct.pack("<H" if le else ">H", u) for u in units)
        bom = (b"\xff\xfe" if le else b"\xfe\xff") if rng.random() < 0.7 else b""
        return bom + body + (b"\x00" if rng.random() < 0.3 else b"")
    if choice == 2:  # truncated / invalid UTF-8 sequences
        seqs = [b"\xe3\x81", b"\xf0\x9f\x98", b"\xc3", b"\xed\xa0\x80", b"\xed\xbf\xbf",
                b"\xc0\x80", b"\xe0\x80\x80", b"\xf4\x90\x80\x80", b"\xf8\x88\x80\x80\x80",
                b"\xfc\x84\x80\x80\x80\x80", b"\x80", b"\xbf", b"\xfe", b"\xff"]
        for _ in range(rng.randint(1, 20)):
            data = insert_token(rng, data, seqs)
        if rng.random() < 0.5:
            data += rng.choice(seqs)[:-1] or b"\xe3"
        return data
    if choice == 3:  # ISO-2022 escapes
        escs = [b"\x1b$B", b"\x1b(B", b"\x1b(J", b"\x1b$@", b"\x1b$A", b"\x1b$(D", b"\x1b$)C",
                b"\x1b$)A", b"\x1b$*H", b"\x0e", b"\x0f", b"\x1b", b"\x1b$", b"\x1b(",
                b"\x1bN", b"\x1b$(Q", b"\x1b%G", b"\x1b-A"]
        for _ in range(rng.randint(1, 30)):
            data = insert_token(rng, data, escs)
        return data
    if choice == 4:  # very long line
        unit = rng.choice([b"a", b"ab ", b"\xd0\xb6", b"\xe4\xb8\xad", b"\x82\xa0", b"\x00",
                           b"word "])
        return data + unit * rng.choice([5000, 100000, 1000000])
    if choice == 5:  # NUL bytes
        b = bytearray(data)
        for _ in range(rng.randint(1, 200)):
            if b:
                b[rng.randrange(len(b))] = 0
        return bytes(b)
    if choice == 6:  # one byte repeated
        return bytes([rng.getrandbits(8)]) * rng.choice([1, 2, 3, 17, 2047, 2048, 2049, 70000])
    if choice == 7:  # random bytes
        return rand_bytes(rng, rng.choice([1, 2, 5, 100, 2048, 5000]))
    if choice == 8:  # UTF-32 / UTF-16 without BOM
        text = data.decode("latin-1")[:2000]
        enc = rng.choice(["utf-16-le", "utf-16-be", "utf-32-le", "utf-32-be"])
        out = text.encode(enc, "replace")
        return out[:rng.randrange(len(out) + 1)] if rng.random() < 0.3 else out
    if choice == 9:  # CR only, mixed separators
        return data.replace(b"\n", rng.choice([b"\r", b"\r\r\n", b"\x85", b"\x0b", b"\x0c"]))
    if choice == 10:  # noise only
        return bytes(rng.choice(b" !\"#$%&'()*+,-./0123456789:;<=>?\t\n\r")
                     for _ in range(rng.randint(0, 3000)))
    return m_splice(rng, data, _)


def sanitize_xml(rng, data):
    """Mutates one XML member of a package."""
    f = rng.choice([m_markup, m_markup, m_markup, m_flip, m_truncate, m_delete, m_repeat,
                    m_text, m_set_bytes])
    return f(rng, data, [])


def zip_rebuild(rng, data, others):
    """Reads a zip package, mutates members, writes it again."""
    try:
        zf = zipfile.ZipFile(io.BytesIO(data))
        members = [(i, zf.read(i)) for i in zf.infolist()]
    except Exception:
        return m_flip(rng, data, others)
    out = io.BytesIO()
    choice = rng.randrange(10)
    with zipfile.ZipFile(out, "w") as z:
        def write(name, body, method=None):
            if method is None:
                method = rng.choice([zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = method
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                z.writestr(info, body)

        targets = [k for k, (i, b) in enumerate(members)
                   if i.filename.endswith((".xml", ".rels", ".opf", ".xhtml", ".html", ".ncx"))]
        victim = rng.choice(targets) if targets else None
        for k, (info, body) in enumerate(members):
            name = info.filename
            if choice <= 3 and k == victim:
                for _ in range(rng.randint(1, 3)):
                    body = sanitize_xml(rng, body)
            elif choice == 4 and k == victim:  # bomb of modest size
                unit = rng.choice([b"<w:t>bomb </w:t>", b"a", b"<a>", b"<p>x</p>",
                                   b"<text:p>lorem ipsum</text:p>", b"&amp;"])
                body = body[:len(body) // 2] + unit * (rng.choice([1, 4, 16]) * 1048576 //
                                                       len(unit)) + body[len(body) // 2:]
                write(name, body, zipfile.ZIP_DEFLATED)
                continue
            elif choice == 5 and k == victim:  # duplicate entry
                write(name, body)
                body = sanitize_xml(rng, body)
            elif choice == 6 and k == victim:  # nested package
                write(name + ".zip", data[:rng.randrange(len(data) + 1)])
            elif choice == 7 and rng.random() < 0.3:  # drop members
                continue
            elif choice == 8 and k == victim:  # many entries
                for n in range(rng.choice([100, 5000])):
                    write("junk/%d.xml" % n, b"<x>%d</x>" % n, zipfile.ZIP_STORED)
            elif choice == 9 and k == victim:
                name = rng.choice(["../" + name, "/" + name, name.upper(), name + "\x00x",
                                   name + "/", "a" * 300, name.replace("/", "\\")])
            write(name, body)
    return out.getvalue()


def zip_raw(rng, data, others):
    """Mutates the zip structures in place: local headers, central directory, end record."""
    b = bytearray(data)
    locs = [m.start() for m in re.finditer(rb"PK\x03\x04", data)]
    cds = [m.start() for m in re.finditer(rb"PK\x01\x02", data)]
    eocd = data.rfind(b"PK\x05\x06")
    fields = []
    for p in locs:  # offset, size
        fields += [(p + 4, 2), (p + 6, 2), (p + 8, 2), (p + 14, 4), (p + 18, 4), (p + 22, 4),
                   (p + 26, 2), (p + 28, 2)]
    for p in cds:
        fields += [(p + 10, 2), (p + 16, 4), (p + 20, 4), (p + 24, 4), (p + 28, 2),
                   (p + 30, 2), (p + 32, 2), (p + 34, 2), (p + 38, 4), (p + 42, 4)]
    if eocd >= 0:
        fields += [(eocd + 4, 2), (eocd + 6, 2), (eocd + 8, 2), (eocd + 10, 2),
                   (eocd + 12, 4), (eocd + 16, 4), (eocd + 20, 2)]
    fields = [(o, n) for o, n in fields if o + n <= len(b)]
    if not fields:
        return m_flip(rng, data, others)
    for _ in range(rng.randint(1, 4)):
        o, n = rng.choice(fields)
        v = rng.choice(INTERESTING_INTS + [rng.getrandbits(32), 8, 12, 14, 93, 95, 98, 99])
        if rng.random() < 0.2:  # small offset of the present value
            v = int.from_bytes(b[o:o + n], "little") + rng.choice([-1, 1, -16, 16])
        v &= (1 << (8 * n)) - 1
        b[o:o + n] = v.to_bytes(n, "little")
    if rng.random() < 0.1:  # zip64 marker
        b += b"PK\x06\x06" + rand_bytes(rng, 52) + b"PK\x06\x07" + rand_bytes(rng, 16)
    return bytes(b)


def m_office(rng, data, others):
    r = rng.random()
    if r < 0.55:
        return zip_rebuild(rng, data, others)
    if r < 0.85:
        return zip_raw(rng, data, others)
    return rng.choice(GENERIC)(rng, data, others)


# ---- legacy Word documents (compound files)

CFB_FREE, CFB_END, CFB_FAT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD


def cfb_build(streams, mini=False):
    """A compound file of 512-byte sectors: allocation table, one directory
    sector, then the streams (or, with `mini`, the mini allocation table and
    the mini stream holding every stream in 64-byte sectors)."""
    data, sizes, mstarts = [], [], []
    mstream, mfat = b"", []
    for _name, body in streams:
        if mini:
            first = len(mstream) // 64
            n = max(1, (len(body) + 63) // 64)
            mfat += [first + k + 1 if k + 1 < n else CFB_END for k in range(n)]
            mstarts.append(first)
            sizes.append(len(body))
            mstream += body + bytes((first + n) * 64 - len(mstream) - len(body))
            continue
        body = body + bytes(max(0, 4096 - len(body)))
        sizes.append(len(body))
        data.append(body)
    if mini:
        mf = b"".join(struct.pack("<I", v) for v in mfat)
        mf += b"\xff" * (-len(mf) % 512)
        data = [mf, mstream]
    data = [d + bytes(-len(d) % 512) for d in data]
    nsec = sum(len(d) // 512 for d in data)
    fatn = 1
    while fatn * 128 < fatn + 1 + nsec:
        fatn += 1
    fat = [CFB_FREE] * (fatn * 128)
    for i in range(fatn):
        fat[i] = CFB_FAT
    fat[fatn] = CFB_END
    nxt, starts = fatn + 1, []
    for d in data:
        starts.append(nxt)
        n = len(d) // 512
        for i in range(n):
            fat[nxt + i] = nxt + i + 1 if i + 1 < n else CFB_END
        nxt += n
    hdr = bytearray(512)
    hdr[0:8] = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"
    struct.pack_into("<HHHHH", hdr, 0x18, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<II", hdr, 0x2C, fatn, fatn)
    struct.pack_into("<IIIII", hdr, 0x38, 4096, starts[0] if mini else CFB_END,
                     len(data[0]) // 512 if mini else 0, CFB_END, 0)
    for i in range(109):
        struct.pack_into("<I", hdr, 0x4C + 4 * i, i if i < fatn else CFB_FREE)
    d = bytearray(512)
    for i in range(4):
        struct.pack_into("<III", d, i * 128 + 68, CFB_FREE, CFB_FREE, CFB_FREE)

    def entry(i, name, kind, right, child, start, size):
        at = i * 128
        raw = name.encode("utf-16-le")[:62]
        d[at:at + len(raw)] = raw
        struct.pack_into("<HBB", d, at + 64, len(raw) + 2, kind, 1)
        struct.pack_into("<III", d, at + 68, CFB_FREE, right, child)
        struct.pack_into("<II", d, at + 116, start, size)

    entry(0, "Root Entry", 5, CFB_FREE, 1, starts[1] if mini else CFB_END, len(mstream))
    for i, (name, _body) in enumerate(streams[:3]):
        entry(i + 1, name, 2, i + 2 if i + 1 < min(len(streams), 3) else CFB_FREE, CFB_FREE,
              mstarts[i] if mini else starts[i], sizes[i])
    return bytes(hdr) + b"".join(struct.pack("<I", v) for v in fat) + bytes(d) + b"".join(data)


def cfb_streams(data):
    """The streams of a compound file (version 3, FAT sectors listed in the
    header), as (name, bytes) pairs in directory order; [] when it does not read."""
    try:
        if not data.startswith(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"):
            return []
        shift, mshift = struct.unpack_from("<HH", data, 0x1E)
        if shift not in (9, 12) or mshift != 6:
            return []
        size, msize = 1 << shift, 1 << mshift
        nfat, dir0 = struct.unpack_from("<II", data, 0x2C)
        cutoff, mfat0 = struct.unpack_from("<II", data, 0x38)
        difat = struct.unpack_from("<109I", data, 0x4C)[:min(nfat, 109)]

        def sector(n):
            return data[size * (n + 1):size * (n + 2)]

        fat = []
        for n in difat:
            fat += struct.unpack("<%dI" % (size // 4), sector(n).ljust(size, b"\xff"))

        def chain(n, limit=1 << 16):
            out = []
            while n < len(fat) and len(out) < limit:
                out.append(n)
                n = fat[n]
            return out

        dirs = b"".join(sector(n) for n in chain(dir0))
        mfat = []
        for n in chain(mfat0):
            mfat += struct.unpack("<%dI" % (size // 4), sector(n).ljust(size, b"\xff"))
        entries = [dirs[i:i + 128] for i in range(0, len(dirs) - 127, 128)]
        root_start, _root_size = struct.unpack_from("<II", entries[0], 116)
        ministream = b"".join(sector(n) for n in chain(root_start))
        out = []
        for e in entries[1:]:
            nl, kind = struct.unpack_from("<HB", e, 64)
            if kind != 2 or not 2 <= nl <= 64:
                continue
            name = e[:nl - 2].decode("utf-16-le", "replace")
            start, length = struct.unpack_from("<II", e, 116)
            if length < cutoff:
                parts, n = [], start
                while n < len(mfat) and len(parts) * msize < length:
                    parts.append(ministream[msize * n:msize * (n + 1)])
                    n = mfat[n]
                body = b"".join(parts)[:length]
            else:
                body = b"".join(sector(n) for n in chain(start))[:length]
            out.append((name, body))
        return out
    except (struct.error, IndexError, ValueError, OverflowError, MemoryError):
        return []


# The streams that carry text, by reader; at most three fit the files built here.
OLE_TEXT_STREAMS = ("WordDocument", "1Table", "0Table", "Workbook", "Book", "WORKBOOK",
                    "PowerPoint Document", "Current User")


def m_ole_streams(rng, data, others):
    """A seed's text streams mutated and packed into a new compound file."""
    streams = [(n, b) for n, b in cfb_streams(data) if n in OLE_TEXT_STREAMS][:3]
    if not streams:
        return m_int_field(rng, data, others)
    k = rng.randrange(len(streams))
    name, body = streams[k]
    for _ in range(rng.randint(1, 3)):
        body = rng.choice([m_int_field, m_int_field, m_flip, m_set_bytes, m_truncate, m_delete,
                           m_repeat, m_insert, m_text])(rng, body, [])
    streams[k] = (name, body)
    if rng.random() < 0.1:
        rng.shuffle(streams)
    mini = all(len(b) < 4096 for _n, b in streams) and rng.random() < 0.5
    return cfb_build(streams, mini)


def word_streams(rng, runs=None, nfib=0xC1, flags=0x0200):
    """The WordDocument and 1Table streams of a Word 97 document of 8-bit
    and UTF-16 pieces."""
    runs = runs or [(b"some text here \x13 PAGE \x14" b"1\x15\r", True),
                    ("и ещё немного\r".encode("utf-16-le"), False)]
    word = bytearray(0x400)
    struct.pack_into("<HH", word, 0, 0xA5EC, nfib)
    struct.pack_into("<H", word, 0x0A, flags)
    struct.pack_into("<H", word, 0x20, 14)
    struct.pack_into("<H", word, 0x3E, 22)
    struct.pack_into("<H", word, 0x98, 93)
    cps, fcs = [0], []
    for body, narrow in runs:
        cps.append(cps[-1] + (len(body) if narrow else len(body) // 2))
        fcs.append((len(word) * 2) | 0x40000000 if narrow else len(word))
        word += body
    struct.pack_into("<I", word, 0x4C, cps[-1])
    plc = b"".join(struct.pack("<I", c) for c in cps) + \
        b"".join(struct.pack("<HIH", 0, f, 0) for f in fcs)
    table = b"\x02" + struct.pack("<I", len(plc)) + plc
    struct.pack_into("<II", word, 0x1A2, 0, len(table))
    return bytes(word), table


def m_msdoc(rng, data, others):
    """A Word document built here, its FIB, piece table or compound file
    damaged; or a seed document's bytes mutated."""
    if data.startswith(b"\xd0\xcf\x11\xe0") and rng.random() < 0.7:
        if rng.random() < 0.7:
            return m_ole_streams(rng, data, others)
        return rng.choice([m_int_field, m_flip, m_set_bytes, m_truncate, m_delete, m_splice,
                           m_repeat])(rng, data, others)
    word, table = word_streams(rng, flags=rng.choice([0x0200, 0x0000, 0x0204]))
    c = rng.randrange(8)
    if c == 0:  # a stream cut short
        word = word[:rng.choice([0, 1, 2, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x40, 0x3E, 0x40,
                                 0x98, 0x9A, 0x1A2, 0x1AA, rng.randrange(len(word))])]
    elif c == 1:  # FIB fields
        b = bytearray(word)
        for _ in range(rng.randint(1, 4)):
            at = rng.choice([2, 0x0A, 0x20, 0x3E, 0x98, 0x4C, 0x50, 0x54, 0x58, 0x5C, 0x60,
                             0x64, 0x68, 0x1A2, 0x1A6, 0x14, 0x18, 0x1C, 0x34, 0x160, 0x164])
            v = rng.choice(INTERESTING_INTS + [101, 104, 105, 0xC0, 0xC1, 0x101, 0x0100,
                                               0x8200, 0x0004, rng.getrandbits(16)])
            fmt = "<H" if at in (2, 0x0A, 0x20, 0x3E, 0x98, 0x14) else "<I"
            struct.pack_into(fmt, b, at, v & (0xFFFF if fmt == "<H" else 0xFFFFFFFF))
        word = bytes(b)
    elif c == 2:  # piece table
        b = bytearray(table)
        for _ in range(rng.randint(1, 4)):
            at = rng.randrange(len(b) - 3)
            struct.pack_into("<I", b, at, rng.choice(INTERESTING_INTS + [rng.getrandbits(32)]))
        table = bytes(b)
        if rng.random() < 0.3:
            table = b"\x01" + struct.pack("<H", rng.choice([0, 1, 0xFFFF])) + table
    elif c == 3:
        word = rng.choice(GENERIC)(rng, word, [])
    elif c == 4:
        table = rng.choice(GENERIC)(rng, table, [])
    streams = [("WordDocument", word), (rng.choice(["1Table", "0Table", "Data"]), table)]
    mini = all(len(b) < 4096 for _n, b in streams) and rng.random() < 0.6
    f = cfb_build(streams, mini)
    if c >= 5:  # the compound file itself
        f = rng.choice([m_int_field, m_flip, m_set_bytes, m_truncate, m_delete])(rng, f, [])
    return f


KIND_MUTATORS = {
    "text": [m_text, m_text, m_text] + GENERIC,
    "markup": [m_markup, m_markup, m_markup, m_text] + GENERIC,
    "rtf": [m_rtf, m_rtf, m_rtf, m_text] + GENERIC,
    "office": [m_office],
    "binary": GENERIC + [m_text],
    "msdoc": [m_msdoc],
}


def mutate(rng, kind, data, others):
    rounds = rng.choice([1, 1, 1, 2, 3, 5])
    for _ in range(rounds):
        data = rng.choice(KIND_MUTATORS[kind])(rng, data, others)
        if len(data) > 32 << 20:
            data = data[:32 << 20]
    return data


# ---------------------------------------------------------------- seeds

def kind_of(path):
    ext = path.suffix.lower()
    if ext in SKIP_EXT or path.name.endswith(".pdf.in"):
        return None
    if ext in OFFICE_EXT:
        return "office"
    if ext in MARKUP_EXT:
        return "markup"
    if ext == ".rtf":
        return "rtf"
    if ext in TEXT_EXT:
        return "text"
    try:
        head = path.read_bytes()[:4096]
    except OSError:
        return None
    if head.startswith(b"%PDF"):
        return None
    if head.startswith(b"PK\x03\x04"):
        return "office"
    if head.startswith(b"\xd0\xcf\x11\xe0"):
        return "msdoc"
    if head.startswith(b"{\\rtf"):
        return "rtf"
    if b"<" in head[:512] and (b"<html" in head.lower() or b"<?xml" in head):
        return "markup"
    if not head or sum(1 for c in head if c < 9 or 13 < c < 32) == 0:
        return "text"
    return "binary"


def generated_seeds():
    g = {k: [] for k in DOC_KINDS}
    words = ("the quick brown fox jumps over the lazy dog and then some more words in "
             "english so that the classifier has something to work with").split()
    g["text"] += [" ".join(words).encode(), "Größe Straße Übung éèà".encode("utf-8"),
                  "Привет мир, это текст на русском языке".encode("cp1251"),
                  "日本語のテキストです。これは試験です。".encode("shift_jis"),
                  "日本語のテキストです。".encode("iso2022_jp"),
                  "中文文本测试，这是一个测试。".encode("gb2312"),
                  "한국어 텍스트입니다".encode("euc_kr"),
                  "Ελληνικό κείμενο".encode("utf-16"), b"", b"\n", b"a",
                  "שלום עולם זה טקסט".encode("utf-8"), "مرحبا بالعالم".encode("cp1256")]
    g["markup"] += [
        b"<html lang=\"fr\"><head><meta charset=\"iso-8859-1\"><title>t</title></head><body>"
        b"<p>Bonjour le monde, ceci est un texte fran\xe7ais.</p></body></html>",
        b"<?xml version=\"1.0\" encoding=\"utf-8\"?><doc xml:lang=\"de\"><p>Guten Tag, "
        b"das ist ein deutscher Text.</p><![CDATA[ raw ]]></doc>",
        b"<!DOCTYPE doc SYSTEM \"x.dtd\"><doc><title>SGML</title><p>some sgml text</doc>",
        b"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">"
        b"</head><body>\x82\xb1\x82\xea\x82\xcd</body></html>",
        "<html><body>ä&auml;&#228;&#xe4;&amp;</body></html>".encode("utf-16"),
    ]
    g["rtf"] += [
        b"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times;}}\\f0 Hello world \\u1046? "
        b"\\'e9t\\'e9 {\\*\\ignored x} \\par}",
        b"{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fcharset204 Arial;}}\\f0 \\'cf\\'f0\\'e8"
        b"\\'e2\\'e5\\'f2 {\\pict\\bin4 abcd} \\uc2\\u1055??\\par}",
    ]
    z = io.BytesIO()
    with zipfile.ZipFile(z, "w") as zf:
        zf.writestr("[Content_Types].xml", "<Types><Override PartName=\"/word/document.xml\" "
                    "ContentType=\"application/vnd.openxmlformats-officedocument."
                    "wordprocessingml.document.main+xml\"/></Types>")
        zf.writestr("word/document.xml", "<w:document xmlns:w=\"w\"><w:body><w:p><w:r><w:t>"
                    "Hello small document in english words</w:t></w:r></w:p></w:body>"
                    "</w:document>")
    g["office"].append(z.getvalue())
    z = io.BytesIO()
    with zipfile.ZipFile(z, "w") as zf:
        info = zipfile.ZipInfo("mimetype")
        zf.writestr(info, "application/vnd.oasis.opendocument.text")
        zf.writestr("content.xml", "<office:document-content xmlns:office=\"o\" xmlns:text=\"t\">"
                    "<office:body><office:text><text:p>Texte en fran\u00e7ais ici</text:p>"
                    "</office:text></office:body></office:document-content>")
    g["office"].append(z.getvalue())
    g["msdoc"] = [cfb_build(list(zip(["WordDocument", "1Table"],
                                     word_streams(random.Random(0)))), mini=True)]
    g["binary"] += [b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(504) + b"junk" * 100,
                    b"\x7fELF\x02\x01\x01" + bytes(60), b"GIF89a" + bytes(20),
                    b"\x89PNG\r\n\x1a\n" + bytes(30), b"\x1f\x8b\x08" + bytes(20)]
    return g


def collect_seeds():
    seeds = {k: [] for k in DOC_KINDS}
    roots = [REPO / "tests" / "data", REPO / "tests" / "e2e"]
    for root in roots:
        for p in sorted(root.rglob("*")):
            if not p.is_file() or p.stat().st_size > 4 << 20:
                continue
            if "/data/" in str(p.relative_to(REPO)) and p.parent.name == "data" and \
                    p.suffix in (".lm", ".cfg"):
                continue
            if p.name in ("args", "env", "requires", "setup.sh", "check.sh", "README.md") or \
                    p.name.startswith("expected_") or "expected_files" in p.parts:
                continue
            k = kind_of(p)
            if k:
                seeds[k].append(p.read_bytes())
    for k, items in generated_seeds().items():
        seeds[k] += items
    return seeds


# ---------------------------------------------------------------- running

class Campaign:
    def __init__(self, args):
        self.args = args
        self.prefix = Path(args.prefix).resolve()
        self.tool = self.prefix / "bin" / "glotta"
        self.data = self.prefix / "common" / "glotta"
        self.work = Path(args.work).resolve()
        self.faildir = self.work / "failures"
        self.rng = random.Random(args.seed)
        self.stats = {}
        self.faults = []
        self.runs = 0
        self.env = dict(os.environ)
        self.env.pop("TOLMAR_LANG", None)
        self.env["ASAN_OPTIONS"] = ("detect_leaks=1:halt_on_error=1:exitcode=%d:"
                                    "symbolize=1" % SANITIZER_EXIT)
        self.env["UBSAN_OPTIONS"] = "halt_on_error=1:print_stacktrace=1:exitcode=%d" % \
            SANITIZER_EXIT
        self.env["TMPDIR"] = str(self.work / "tmp")
        self.load_allowance = 0.0  # extra seconds for the profiles of a data case

    def count(self, kind, key, n=1):
        self.stats.setdefault(kind, {}).setdefault(key, 0)
        self.stats[kind][key] += n

    def run(self, argv, timeout, cwd=None, tool=None, env=None):
        self.runs += 1
        timeout += self.load_allowance
        start = time.monotonic()
        try:
            p = subprocess.run([str(tool or self.tool)] + argv, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env or self.env, timeout=timeout,
                               cwd=cwd or self.work)
            return p.returncode, p.stdout, p.stderr, time.monotonic() - start
        except subprocess.TimeoutExpired as e:
            return None, e.stdout or b"", e.stderr or b"", time.monotonic() - start

    # -- checks ------------------------------------------------------------

    def problems(self, rc, out, err, docs, records_text, nmax, startup_may_fail=False,
                 records_is_file=True):
        """Returns a list of problem strings for one detection run."""
        probs = []
        text_err = err.decode("latin-1")
        failure = run_failure(rc, text_err)
        if failure:
            return [failure]
        status = status_problem(rc)
        if status:
            probs.append(status)
        stdout = out.decode("latin-1")
        stray = stray_line(text_err, STDERR_LINES)
        if stray is not None:
            probs.append("stray line on standard error: %r" % stray[:300])
        if records_is_file:
            stray = stray_line(stdout, STDOUT_LINES)
            if stray is not None:
                probs.append("stray line on standard output: %r" % stray[:300])
        if not stdout.startswith("glotta - Tolmar, Inc. Version 5.5.0 (Feb  7 2004)\n"):
            probs.append("banner missing")
        if not stdout.endswith("glotta done\n"):
            probs.append("closing line missing")
        startup = re.search(r"^Error (-?\d+): (.*) \(in initializing language detection "
                            r"module\)\.$", text_err, re.M)
        if startup:
            code = int(startup.group(1))
            if not startup_may_fail:
                probs.append("start-up failed: " + startup.group(0))
            elif CODES.get(code) != startup.group(2):
                probs.append("start-up message does not match its code: " + startup.group(0))
            return probs
        errors = {}
        for m in re.finditer(r"^Error (-?\d+): (.*) \(for document: (.*)\)$", text_err, re.M):
            code, msg, doc = int(m.group(1)), m.group(2), m.group(3)
            if CODES.get(code, "Unhandled internal error code") != msg or code == 0:
                probs.append("message does not match code: " + m.group(0))
            errors.setdefault(doc, []).append(code)
        # A record is cut out by its DOC_NAME line; a declared language is
        # printed as written, so a LANGUAGE line may itself hold line feeds.
        records = {}
        order = []
        starts = []
        pos = 0
        for d in docs:
            i = records_text.find("DOC_NAME:" + d + "\n", pos)
            if i >= 0:
                starts.append((i, d))
                pos = i + 1
        if starts and starts[0][0] != 0:
            probs.append("output before the first record: %r" % records_text[:300])
        for k, (i, d) in enumerate(starts):
            j = starts[k + 1][0] if k + 1 < len(starts) else len(records_text)
            seg = records_text[i:j]
            records[d] = records.get(d, 0) + 1
            order.append(d)
            body = seg[len("DOC_NAME:" + d + "\n"):]
            if not body.endswith("<<EOD>>\n") or not body.startswith(("LANGUAGE: ", "<<EOD>>")):
                probs.append("malformed record: %r" % seg[:300])
                continue
            scores = re.findall(r"\nSCORE: (.*)\n", body)
            ncand = body.count("LANGUAGE: ")
            if len(scores) != ncand or body.count("\nCHARSET: ") < ncand:
                probs.append("malformed record: %r" % seg[:300])
            for s in scores:
                try:
                    v = float(s)
                except ValueError:
                    v = float("nan")
                if not (-0.005 <= v <= 1.005) or not re.fullmatch(r"-?\d+\.\d\d", s):
                    probs.append("odd score %r for %s" % (s, d))
            if ncand > nmax or ncand == 0:
                probs.append("%d candidates for %s (-n %d)" % (ncand, d, nmax))
        last = None
        for d in docs:
            r, e = records.get(d, 0), len(errors.get(d, []))
            if r + e == 0:
                probs.append("lost document: " + d)
            elif r + e > 1:
                probs.append("document reported %d times: %s" % (r + e, d))
            last = (0 if r else errors[d][-1]) if r + e else last
        if docs and order and [d for d in docs if d in records] != order:
            probs.append("records out of list order")
        if last is not None and rc != (last & 0xFF):
            probs.append("exit status %d, last document's result %d" % (rc, last))
        return probs

    # -- detection runs ----------------------------------------------------

    def options(self):
        opts, nmax = [], 1
        if self.rng.random() < 0.3:
            nmax = self.rng.choice([2, 3, 10, 200])
            opts += ["-n", str(nmax)]
        if self.rng.random() < 0.03:
            opts += ["-debug"]
            shutil.rmtree(self.work / "tmp", ignore_errors=True)
            (self.work / "tmp").mkdir(parents=True, exist_ok=True)
        if self.rng.random() < 0.3:
            opts += ["-buffer_size", str(self.rng.choice([1, 2, 7, 64, 2047, 2049, 65536,
                                                          1 << 20, 2147483647,
                                                          self.rng.randint(1, 5000)]))]
        return opts, nmax

    def detect(self, kind, docs, extra=None, data_path=None, startup_may_fail=False,
               opts=None, nmax=1):
        """Runs one bulk list; returns the problems."""
        lst = self.work / "run" / "list.lst"
        lst.write_text("".join(d + "\n" for d in docs), encoding="latin-1")
        out = self.work / "run" / "out.txt"
        if out.exists():
            out.unlink()
        argv = list(opts or [])
        if data_path:
            argv += ["-data_path", str(data_path)]
        if extra:
            argv += extra
        argv += ["@" + str(lst), str(out)]
        timeout = self.args.timeout + 0.5 * len(docs)
        rc, so, se, _ = self.run(argv, timeout)
        rec = out.read_bytes().decode("latin-1") if out.exists() else ""
        return self.problems(rc, so, se, docs, rec, nmax, startup_may_fail), (argv, rc, so, se)

    def single(self, kind, doc, opts, nmax):
        out = self.work / "run" / "single.txt"
        if out.exists():
            out.unlink()
        rc, so, se, _ = self.run(opts + [doc, str(out)], self.args.timeout)
        rec = out.read_bytes().decode("latin-1") if out.exists() else ""
        return self.problems(rc, so, se, [doc], rec, nmax)

    def narrow(self, kind, docs, opts, nmax):
        """Halves a failing list down to the smallest failing one."""
        while len(docs) > 1:
            half = len(docs) // 2
            a, b = docs[:half], docs[half:]
            if self.detect(kind, a, opts=opts, nmax=nmax)[0]:
                docs = a
            elif self.detect(kind, b, opts=opts, nmax=nmax)[0]:
                docs = b
            else:
                break
        return docs

    def record_fault(self, kind, what, files, probs, argv=None):
        n = len(self.faults)
        dest = self.faildir / ("%s-%03d" % (kind, n))
        dest.mkdir(parents=True, exist_ok=True)
        for f in files:
            f = Path(f)
            if f.is_dir():
                shutil.copytree(f, dest / f.name, dirs_exist_ok=True)
            elif f.exists():
                shutil.copy(f, dest / f.name)
        (dest / "report.txt").write_text(
            "kind: %s\nwhat: %s\nargs: %s\n\n%s\n" %
            (kind, what, " ".join(argv or []), "\n".join(probs)), encoding="utf-8")
        first = probs[0].splitlines()[0] if probs else "?"
        self.faults.append((kind, what, first, str(dest)))
        print("  FAULT %s %s: %s -> %s" % (kind, what, first[:160], dest), flush=True)

    def doc_kind(self, kind, seeds, total):
        docdir = self.work / "docs" / kind
        batch = self.args.batch
        done = 0
        pool = seeds[kind]
        if not pool:
            print("%s: no seeds" % kind)
            return
        start = time.monotonic()
        while done < total:
            if docdir.exists():
                shutil.rmtree(docdir)
            docdir.mkdir(parents=True)
            n = min(batch, total - done)
            docs = []
            for i in range(n):
                data = mutate(self.rng, kind, self.rng.choice(pool), pool)
                p = docdir / ("%s-%06d.%s" % (kind, done + i, self.ext(kind, data)))
                p.write_bytes(data)
                docs.append(str(p))
            opts, nmax = self.options()
            if self.rng.random() < 0.1:
                bif = self.work / "run" / "bif" / "out"
                bif.parent.mkdir(parents=True, exist_ok=True)
                opts += ["-bif", str(bif)]
            probs, (argv, rc, so, se) = self.detect(kind, docs, opts=opts, nmax=nmax)
            self.count(kind, "documents", n)
            self.count(kind, "bulk runs")
            rest = docs
            for _ in range(8):  # one culprit after the other
                if not probs:
                    break
                small = self.narrow(kind, rest, opts, nmax)
                probs2 = self.detect(kind, small, opts=opts, nmax=nmax)[0] or probs
                self.record_fault(kind, "bulk", small, probs2, opts)
                rest = [d for d in rest if d not in small]
                probs = self.detect(kind, rest, opts=opts, nmax=nmax)[0] if rest else []
            # single-document runs of a few of the same documents
            for d in self.rng.sample(docs, max(1, n // self.args.single_every)):
                o2, n2 = self.options()
                sp = self.single(kind, d, o2, n2)
                self.count(kind, "single runs")
                if sp:
                    self.record_fault(kind, "single", [d], sp, o2)
            done += n
            print("  %s: %d/%d documents, %d faults, %.0fs" %
                  (kind, done, total, len(self.faults), time.monotonic() - start), flush=True)

    @staticmethod
    def ext(kind, data):
        if kind == "office":
            return "docx"
        return {"text": "txt", "markup": "html", "rtf": "rtf", "binary": "bin",
                "msdoc": "doc"}[kind]

    # -- language data -----------------------------------------------------

    def base_data(self):
        """A small scratch data directory: a few shipped profiles and the name file."""
        base = self.work / "basedata"
        if base.exists():
            shutil.rmtree(base)
        base.mkdir(parents=True)
        names = ["en-1252.lm", "de-1252.lm", "fr-utf8.lm", "ru-1251.lm", "ja-sjis.lm",
                 "zh-utf8.lm", "es-1252.lm", "ar-utf8.lm"]
        names = [n for n in names if (self.data / n).exists()]
        for n in names:
            shutil.copy(self.data / n, base / n)
        shutil.copy(self.data / "langname.cfg", base / "langname.cfg")
        (base / "langlist.cfg").write_text("minsize: 16\nminscore: 0.2\nunknown: un:Unknown\n" +
                                           "".join(n + "\n" for n in names))
        return base, names

    def probe_docs(self, seeds):
        d = self.work / "probe"
        if d.exists():
            shutil.rmtree(d)
        d.mkdir(parents=True)
        docs = []
        for kind in DOC_KINDS:
            small = [x for x in seeds[kind] if len(x) < 20000]
            for i, data in enumerate(small[:3]):
                p = d / ("%s-%d.%s" % (kind, i, self.ext(kind, data)))
                p.write_bytes(data)
                docs.append(str(p))
        return docs

    def mutate_lm(self, data):
        rng = self.rng
        lines = data.split(b"\n")
        c = rng.randrange(16)
        if c == 0:
            lines = [ln for ln in lines if not ln.startswith((b"ID:", b"CHARSET:"))]
        elif c == 1:
            lines = [b"ID:" + rng.choice([b"", b"  \t", b"x" * 300, b"zz", b"EN", b"\xff\xfe"])
                     if ln.startswith(b"ID:") else ln for ln in lines]
        elif c == 2:
            lines = [b"CHARSET:" + odd_name(rng) if ln.startswith(b"CHARSET:") else ln
                     for ln in lines]
        elif c == 3:
            lines = [ln.replace(b" ", b"") for ln in lines]
        elif c == 4:
            i = rng.randrange(len(lines))
            lines.insert(i, b"q" * rng.choice([255, 256, 257, 511, 600, 100000]) +
                         rng.choice([b"", b" 3"]))
        elif c == 5:
            lines = lines[:3] + lines[2:] + lines[2:]
        elif c == 6:
            return rand_bytes(rng, rng.choice([0, 1, 100, 10000]))
        elif c == 7:
            return b""
        elif c == 8:
            lines = [rng.choice([b"abcdefgh 8", b"abcdefghijklmnop 16", b" 0", b"\x00ab 2",
                                 b"ab\x00cd 4", b"\t 1", b"_ 1", b"a\r 1", b"\xff\xff 2"])
                     for _ in range(rng.randint(1, 500))] + lines
        elif c == 9:
            lines = lines[:2] + [b"x%d 3" % i for i in range(rng.choice([401, 5000, 70000]))]
        elif c == 10:
            lines = [ln + b"\r" for ln in lines]
        elif c == 11:
            lines = lines[:rng.randrange(len(lines) + 1)]
        else:
            return rng.choice(GENERIC)(rng, data, [])
        return b"\n".join(lines)

    def mutate_langlist(self, text, names):
        rng = self.rng
        lines = text.split(b"\n")
        for _ in range(rng.randint(1, 4)):
            c = rng.randrange(14)
            i = rng.randint(0, len(lines))
            if c == 0:
                lines.insert(i, rng.choice([b"minsize:", b"MINSIZE:", b"MinSize:"]) +
                             rng.choice([b"", b" ", b"-5", b"99999999999999999999", b"2147483648",
                                         b"-2147483649", b"abc", b"0x10", b" 12abc", b"1e9",
                                         b"\t-0"]))
            elif c == 1:
                lines.insert(i, rng.choice([b"minscore:", b"MINSCORE:"]) +
                             rng.choice([b"", b" 1.0", b" -0.2", b" 0.35", b" nan", b" inf",
                                         b" 1e308", b" 1e-400", b" .", b" -", b" 0." + b"9" * 300,
                                         b" 99999999999999999999999", b" 0.2.3", b" +0.5",
                                         b" 0,5", b" 1e", b" 0x1p-2"]))
            elif c == 2:
                lines.insert(i, b"unknown:" + rng.choice([b"", b" :", b" ::", b" :xx", b" xx:",
                                                          b" " + b"u" * 300, b" a : b : c",
                                                          b" un:" + b"C" * 400, b"\t\t",
                                                          b" " + odd_name(rng)]))
            elif c == 3:
                lines.insert(i, rng.choice([b"missing.lm", b".", b"..", b"sub", b"/", b"/etc",
                                            b"/dev/null", b"langlist.cfg",
                                            b"langname.cfg", b"../" * 20 + b"x.lm",
                                            b" #comment-looking.lm", b"x" * 1100]))
            elif c == 4 and names:
                n = rng.choice(names)
                lines[i:i] = [n] * rng.choice([2, 10, 600])
            elif c == 5:
                lines.insert(i, b"z" * rng.choice([255, 256, 300, 2000]))
            elif c == 6:
                lines.insert(i, rand_bytes(rng, rng.randint(1, 300)))
            elif c == 7:
                lines = [ln + b"\r" for ln in lines]
            elif c == 8:
                lines = [ln for ln in lines if not ln.endswith(b".lm")]
            elif c == 9:
                lines = [b"#" + ln for ln in lines]
            elif c == 10:
                lines.insert(i, b"\x00" + b"en-1252.lm")
            elif c == 11:
                return b""
            elif c == 12:
                lines.insert(i, rng.choice([b"  \t ", b"\t", b" \r", b"\x0b", b"\x0c"]))
            else:
                lines = [b"p%d.lm" % k for k in range(rng.choice([499, 500, 501, 1000]))] + lines
        return b"\n".join(lines)

    def mutate_langname(self, text):
        rng = self.rng
        c = rng.randrange(8)
        if c == 0:
            return b"".join(b"id%d Name%d\n" % (k, k) for k in range(rng.choice([99, 100, 101,
                                                                                5000])))
        if c == 1:
            return text + b"\n" + b"x" * rng.choice([31, 32, 255, 256, 1000]) + b" Long\n"
        if c == 2:
            return text + b"\nen " + b"N" * rng.choice([255, 256, 1000]) + b"\n"
        if c == 3:
            return text + rng.choice([b"\nsingleword\n", b"\n   \n", b"\n\t\t\n", b"\nen\n",
                                      b"\n \n", b"\x00\n"])
        if c == 4:
            return b""
        if c == 5:
            return rand_bytes(rng, rng.randint(1, 5000))
        return rng.choice(GENERIC)(rng, text, [])

    def data_case(self, base, names):
        """A scratch data directory with one or more files mutated."""
        d = self.work / "data"
        if d.exists():
            shutil.rmtree(d)
        shutil.copytree(base, d)
        (d / "sub").mkdir()
        what = []
        r = self.rng.random()
        if r < 0.4 or self.kind == "profile":
            for _ in range(self.rng.randint(1, 3)):
                n = self.rng.choice(names)
                (d / n).write_bytes(self.mutate_lm((d / n).read_bytes()))
                what.append("profile " + n)
        if self.kind == "config" or self.rng.random() < 0.2:
            (d / "langlist.cfg").write_bytes(
                self.mutate_langlist((d / "langlist.cfg").read_bytes(),
                                     [n.encode() for n in names]))
            what.append("langlist.cfg")
            if self.rng.random() < 0.3:
                (d / "langname.cfg").write_bytes(
                    self.mutate_langname((d / "langname.cfg").read_bytes()))
                what.append("langname.cfg")
            if self.rng.random() < 0.05:
                (d / "langname.cfg").unlink()
                (d / "langname.cfg").mkdir()
                what.append("langname.cfg is a directory")
            if self.rng.random() < 0.05:
                (d / "langlist.cfg").unlink()
                what.append("langlist.cfg missing")
        # profiles written by lines p0.lm... exist sometimes
        if self.rng.random() < 0.1:
            for k in range(self.rng.choice([5, 5, 600])):
                shutil.copy(d / names[0], d / ("p%d.lm" % k))
            what.append("many profiles")
        return d, what

    @staticmethod
    def load_seconds(d):
        """Start-up reads every listed profile, however large and however
        often listed: a second per megabyte of them (sanitizer builds)."""
        try:
            lines = (d / "langlist.cfg").read_bytes().split(b"\n")
        except OSError:
            return 0.0
        total = 0
        for line in lines[:2000]:
            name = line.strip(b" \t\r").decode("latin-1")
            if not name or name.startswith("#") or ":" in name:
                continue
            try:
                total += (d / name).stat().st_size
            except (OSError, ValueError):
                pass
        return total / 1e6

    def data_kind(self, kind, seeds, total):
        self.kind = kind
        base, names = self.base_data()
        docs = self.probe_docs(seeds)
        start = time.monotonic()
        for i in range(total):
            d, what = self.data_case(base, names)
            self.load_allowance = self.load_seconds(d)
            if kind == "train":
                self.train_case(d, seeds, i)
            elif kind == "list":
                self.list_case(d, docs)
            elif kind == "cmdline":
                self.cmdline_case(d, docs)
            else:
                opts, nmax = self.options()
                if self.rng.random() < 0.1:
                    opts += ["-config", str(d / "langlist.cfg")]
                probs, (argv, rc, so, se) = self.detect(kind, docs, data_path=d, opts=opts,
                                                        nmax=nmax, startup_may_fail=True)
                self.count(kind, "runs")
                if probs:
                    self.record_fault(kind, ", ".join(what), [d], probs, argv)
            if (i + 1) % 50 == 0 or i + 1 == total:
                print("  %s: %d/%d cases, %d faults, %.0fs" %
                      (kind, i + 1, total, len(self.faults), time.monotonic() - start),
                      flush=True)

    def train_case(self, d, seeds, i):
        rng = self.rng
        sdir = self.work / "samples"
        if sdir.exists():
            shutil.rmtree(sdir)
        sdir.mkdir(parents=True)
        samples = []
        for k in range(rng.randint(1, 6)):
            kind = rng.choice(["text", "text", "markup", "rtf", "binary"])
            p = sdir / ("s%d.txt" % k)
            p.write_bytes(mutate(rng, kind, rng.choice(seeds[kind]), seeds[kind]))
            samples.append(str(p))
        if rng.random() < 0.2:
            samples += [str(sdir / "missing.txt"), str(sdir), "/dev/null"]
            (sdir / "empty.txt").write_bytes(b"")
            samples.append(str(sdir / "empty.txt"))
        lid = rng.choice(["xx", "tt", "q" * 200, "a b", "", "sub/xx", "..", "zz\x7f"])
        charset = rng.choice(["utf8", "1252", "", "x" * 300, "weird name"])
        lname = rng.choice(["Test", "Old English", "N" * 300, ""])
        lst = self.work / "run" / "train.lst"
        lst.write_text("".join(s + "\n" for s in samples), encoding="latin-1")
        args = ["-train", "-language_id", lid, "-language_name", lname, "-charset", charset,
                "-data_path", str(d)]
        argv = args + (["@" + str(lst)] if rng.random() < 0.8 else [samples[0]])
        rc, so, se, _ = self.run(argv, self.args.timeout + len(samples))
        self.count("train", "runs")
        probs = self.train_problems(rc, so, se)
        if probs:
            self.record_fault("train", "training", [d, sdir], probs, argv)
            return
        # load the new profile back and detect with it
        made = d / ("%s-%s.lm" % (lid, charset))
        if rc == 0 and made.is_file() and "/" not in lid:
            (d / "langlist.cfg").write_text("%s-%s.lm\nen-1252.lm\n" % (lid, charset))
            docs = [s for s in samples if Path(s).is_file()]
            probs, (argv2, *_rest) = self.detect("train", docs, data_path=d,
                                                 startup_may_fail=True)
            self.count("train", "detection runs with the trained profile")
            if probs:
                self.record_fault("train", "trained profile", [d, sdir], probs, argv2)

    def list_case(self, d, docs):
        """A bulk list with odd lines: long, blank, CR only, NUL bytes, directories."""
        rng = self.rng
        ldir = self.work / "lists" / "sub"
        ldir.mkdir(parents=True, exist_ok=True)
        rel = os.path.relpath(docs[0], ldir)
        lines = []
        for _ in range(rng.randint(1, 40)):
            lines.append(rng.choice([
                docs[rng.randrange(len(docs))].encode(), rel.encode(), b"", b"\r", b"\r\r",
                b"/", b".", b"..", str(ldir).encode(), b"/dev/null", b"missing.txt",
                b"a" * rng.choice([1022, 1023, 1024, 1038, 1039, 1040, 1041, 5000]),
                b"/" + b"b/" * rng.choice([511, 519, 520, 600]) + b"c",
                b"../" * rng.choice([300, 400]) + docs[0].lstrip("/").encode(),
                docs[0].encode() + b"\x00junk", b"\x00", docs[0].encode() + b" ",
                docs[0].encode() + b"\r", rand_bytes(rng, rng.randint(1, 60))]))
        sep = rng.choice([b"\n", b"\r\n", b"\r", b"\n\n"])
        data = sep.join(lines) + rng.choice([b"", sep])
        lst = ldir / rng.choice(["x.lst", "l" * 200 + ".lst"])
        lst.write_bytes(data)
        opts, nmax = self.options()
        argv = ["-data_path", str(d)] + opts + ["@" + str(lst), str(self.work / "run" / "o.txt")]
        rc, so, se, _ = self.run(argv, self.args.timeout + len(lines))
        self.count("list", "runs")
        probs = self.train_problems(rc, so, se)
        if probs:
            self.record_fault("list", "bulk list", [lst], probs, argv)

    def cmdline_case(self, d, docs):
        """Odd argument vectors and environments, through the launcher and
        straight to the tool, in a copy of the installation (training may
        write into its data directory)."""
        rng = self.rng
        copy = self.work / "prefix"
        if not copy.exists():
            shutil.copytree(self.prefix, copy, symlinks=True)
        cwd = self.work / "cwd"
        shutil.rmtree(cwd, ignore_errors=True)
        cwd.mkdir(parents=True)
        values = ["", "-", "@", "@@", "0", "-1", "3", "99999999999", "2147483648", "1x", "x",
                  " ", "a" * rng.choice([100, 1100, 5000]), docs[0], "@" + docs[0], "out.txt",
                  str(d), str(d / "langlist.cfg"), str(d / "missing"), "/dev/null",
                  "/nonexistent/dir/out", "%s%n", "xx", "1252", "Old English", "sub/x", "."]
        options = ["-n", "-buffer_size", "-bif", "-config", "-data_path", "-debug", "-train",
                   "-language_id", "-language_name", "-charset", "-N", "--n", "-", "-bif="]
        argv = []
        for _ in range(rng.randint(0, 9)):
            argv.append(rng.choice(options) if rng.random() < 0.5 else rng.choice(values))
        if rng.random() < 0.5:
            argv += ["-data_path", str(d)]
        env = dict(self.env)
        lib = str(copy / "_linux" / "bin")
        c = rng.randrange(10)
        if c == 0:
            env.pop("LD_LIBRARY_PATH", None)
        elif c == 1:
            env["LD_LIBRARY_PATH"] = rng.choice(["", ":", ":::", " ", "\"\"", "/"])
        elif c == 2:
            env["LD_LIBRARY_PATH"] = "/x" * rng.choice([300, 600, 3000]) + ":" + lib
        elif c == 3:
            env["LD_LIBRARY_PATH"] = " \"" + lib + "/\"\t:" + lib
        elif c == 4:
            env["LD_LIBRARY_PATH"] = ":".join(["/nonexistent"] * rng.choice([10, 1000]) + [lib])
        else:
            env["LD_LIBRARY_PATH"] = lib
        if rng.random() < 0.2:
            env["TOLMAR_LANG"] = rng.choice(["1", "debug", "DEBUG", "yes", "", "2"])
        launcher = rng.random() < 0.7
        tool = copy / "bin" / "glotta" if launcher else copy / "_linux" / "bin" / "glotta"
        if launcher and c >= 5:
            env.pop("LD_LIBRARY_PATH", None)
        rc, so, se, _ = self.run(argv, self.args.timeout, cwd=cwd, tool=tool, env=env)
        self.count("cmdline", "runs")
        probs = self.train_problems(rc, so, se, strict_stdout=False)
        if probs and rc == 127 and launcher and b"glotta: " in se:
            probs = []  # the launcher could not start the tool and said why
        if probs:
            (cwd / "env.txt").write_text("\n".join("%s=%s" % kv for kv in sorted(env.items())
                                                   if kv[0] in ("LD_LIBRARY_PATH",
                                                                "TOLMAR_LANG")))
            self.record_fault("cmdline", "launcher" if launcher else "tool", [cwd], probs,
                              [str(tool)] + argv)

    def train_problems(self, rc, so, se, strict_stdout=True):
        text_err = se.decode("latin-1")
        failure = run_failure(rc, text_err) or status_problem(rc)
        if failure:
            return [failure]
        if not so.endswith(b"glotta done\n"):
            return ["closing line missing"]
        stray = stray_line(text_err, STDERR_LINES)
        if stray is not None:
            return ["stray line on standard error: %r" % stray[:300]]
        if strict_stdout:
            stray = stray_line(so.decode("latin-1"), STDOUT_LINES)
            if stray is not None:
                return ["stray line on standard output: %r" % stray[:300]]
        return []

    # -- driver ------------------------------------------------------------

    def go(self):
        if not self.tool.exists():
            sys.exit("fuzz.py: no installed launcher at %s" % self.tool)
        (self.work / "run").mkdir(parents=True, exist_ok=True)
        (self.work / "tmp").mkdir(parents=True, exist_ok=True)
        seeds = collect_seeds()
        print("seeds: " + ", ".join("%s %d" % (k, len(v)) for k, v in seeds.items()))
        t0 = time.monotonic()
        for kind in self.args.kinds:
            # every kind draws from its own generator so kinds can be run alone
            self.rng = random.Random("%d/%s" % (self.args.seed, kind))
            n = self.args.count
            if kind in DATA_KINDS:
                n = max(1, n // self.args.data_divisor)
                self.data_kind(kind, seeds, n)
            else:
                self.doc_kind(kind, seeds, n)
        secs = time.monotonic() - t0
        print("\nsummary (seed %d, %.0f s, %d processes):" % (self.args.seed, secs, self.runs))
        for kind, st in self.stats.items():
            print("  %-8s %s" % (kind, ", ".join("%s %d" % kv for kv in st.items())))
        if self.faults:
            print("%d faults:" % len(self.faults))
            for kind, what, first, dest in self.faults:
                print("  %s (%s): %s\n    %s" % (kind, what, first[:200], dest))
        else:
            print("no faults")
        return 1 if self.faults else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--prefix", default=str(REPO / "build-san" / "prefix"),
                    help="installation prefix (default build-san/prefix)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=2000,
                    help="mutated documents per document kind (default 2000)")
    ap.add_argument("--data-divisor", type=int, default=4,
                    help="profile/config/train cases are count / this (default 4)")
    ap.add_argument("--kinds", default=",".join(ALL_KINDS),
                    help="comma-separated subset of " + ",".join(ALL_KINDS))
    ap.add_argument("--batch", type=int, default=200, help="documents per bulk run")
    ap.add_argument("--single-every", type=int, default=40,
                    help="one single-document run per this many documents")
    ap.add_argument("--timeout", type=float, default=20.0, help="seconds per run (base)")
    ap.add_argument("--work", default=str(REPO / "scripts" / "work" / "fuzz"),
                    help="work directory (git-ignored); failures land in WORK/failures")
    ap.add_argument("--smoke", action="store_true", help="a few dozen mutations per kind")
    args = ap.parse_args()
    args.kinds = [k for k in args.kinds.split(",") if k]
    for k in args.kinds:
        if k not in ALL_KINDS:
            ap.error("unknown kind " + k)
    if args.smoke:
        args.count, args.batch, args.data_divisor, args.single_every = 24, 24, 4, 12
    return Campaign(args).go()


if __name__ == "__main__":
    sys.exit(main())
