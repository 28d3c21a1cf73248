#!/usr/bin/python3
"""Compares the plug-in's text of real documents with other extractors' text.

    compare.py CORPUS-DIR [--build out/build] [--work DIR] [--only FMT,...]

CORPUS-DIR holds one folder per format (pdf, docx, doc, ...) of documents.
Each document's text comes from dxtext (built with the tests) and from the
reference extractor of its format, both kept under --work (the reference
text is not made again while its file is there). For each document the
words of both texts (runs of letters, lowercased; digits and punctuation
left out, since extractors lay out numbers and tables differently) are
compared as multisets:

    recall     the share of the reference's words that our text has
    precision  the share of our words that the reference text has
    order      of the words found once in each text, the share that keeps
               the reference's order (longest increasing run)

and the same two shares over distinct words ("vocabulary"), which a text
given twice by one side (an extractor that reads the stale copies of a
presentation saved again, say) does not move.

Writes WORK/documents.tsv (one row per document) and prints the table per
format. Not run by the tests; needs the reference tools (see README.md).
"""
import argparse
import bisect
import collections
import os
import re
import statistics
import subprocess
import sys
import zipfile

WORD = re.compile(r"[^\W\d_]+")
CAP_UNITS = 512 * 1024  # filters/dxfilter/extractor.h kMaxTextUnits


def run(cmd, timeout=300):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    if p.returncode != 0 and not p.stdout:
        return None
    return p.stdout.decode("utf-8", "replace")


def pptx_text(path):
    """The a:t runs of the slides and their notes, slide by slide."""
    key = lambda n: [int(t) if t.isdigit() else t for t in re.split(r"(\d+)", n)]
    with zipfile.ZipFile(path) as z:
        names = sorted((n for n in z.namelist()
                        if re.match(r"ppt/(slides/slide|notesSlides/notesSlide)\d+\.xml$", n)),
                       key=key)
        out = []
        for n in names:
            xml = z.read(n).decode("utf-8", "replace")
            out += [re.sub(r"&(amp|lt|gt|quot|apos);",
                           lambda m: {"amp": "&", "lt": "<", "gt": ">", "quot": '"',
                                      "apos": "'"}[m.group(1)], t)
                    for t in re.findall(r"<a:t>([^<]*)</a:t>", xml)]
        return "\n".join(out)


def xlsx_text(path):
    import openpyxl  # python3-openpyxl
    wb = openpyxl.load_workbook(path, read_only=True, data_only=True)
    out = []
    for ws in wb.worksheets:
        for row in ws.iter_rows(values_only=True):
            out.append("\t".join(str(v) for v in row if v is not None))
    return "\n".join(out)


def po_text(po):
    """The translations of a catalog read by polib: the msgstr texts (all
    plural forms) of the entries that are not the header or obsolete. Fuzzy
    entries are kept: the plug-in reads them (a fuzzy translation is still
    text of the catalog's language)."""
    out = []
    for e in po:
        if not e.msgid or e.obsolete:
            continue
        out += [e.msgstr] + [e.msgstr_plural[k] for k in sorted(e.msgstr_plural)]
    return "\n".join(t for t in out if t)


def catalog_po(path):
    import polib  # python3-polib
    return po_text(polib.pofile(path))


def catalog_mo(path):
    import polib
    # msgunfmt writes in the catalog's charset: msgconv makes it UTF-8.
    text = run(["sh", "-c", 'msgunfmt "$1" | msgconv -t UTF-8', "sh", path])
    return None if text is None else po_text(polib.pofile(text))


def catalog_qm(path):
    """The <translation> texts of lconvert's .ts, all numerus forms."""
    import xml.etree.ElementTree as ET
    text = run(["lconvert", "-i", path, "-of", "ts", "-o", "-"])
    if text is None:
        return None
    out = []
    for t in ET.fromstring(text).iter("translation"):
        forms = t.findall("numerusform")
        out += [f.text or "" for f in forms] if forms else [t.text or ""]
    return "\n".join(x for x in out if x)


def mail_text(path):
    """Python's email: the decoded subject and the text/plain bodies (HTML
    with its tags taken out when an alternative has no plain text), those of
    the messages inside too, without attachments and without quoted reply
    lines."""
    import email
    import email.policy
    import html
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    out = [str(msg.get("subject", ""))]

    def body(part):
        try:
            return part.get_content()
        except Exception:  # an unknown charset: as Latin-1
            return (part.get_payload(decode=True) or b"").decode("latin-1")

    def walk(part):
        if part.get_content_type() in ("message/rfc822", "message/global"):
            if part.get_content_disposition() == "attachment":
                return
            for inner in part.iter_parts():  # a message in a message: its subject too
                out.append(str(inner.get("subject", "")))
                walk(inner)
        elif part.is_multipart():
            subs = list(part.iter_parts())
            if part.get_content_subtype() == "alternative":
                plain = [p for p in subs if p.get_content_type() == "text/plain"]
                subs = plain[-1:] or subs[-1:]
            for p in subs:
                walk(p)
        elif part.get_content_disposition() != "attachment":
            if part.get_content_type() == "text/plain":
                text = body(part)
                out.append("\n".join(l for l in text.splitlines()
                                      if not l.lstrip().startswith(">")))
            elif part.get_content_type() == "text/html":
                text = re.sub(r"(?is)<(script|style)\b.*?</\1>|<[^>]*>", " ", body(part))
                out.append(html.unescape(text))
    walk(msg)
    return "\n".join(out)


def fb2_text(path):
    """A FictionBook's book title, annotation and the text of its bodies."""
    import xml.etree.ElementTree as ET
    with open(path, "rb") as f:
        data = f.read()
    # FBReader's help books keep an entity its build fills in
    # ("&FBReaderVersion;"): entities XML does not define are taken out.
    data = re.sub(rb"&(?!(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);)[A-Za-z][\w.-]*;", b"", data)
    root = ET.fromstring(data)
    local = lambda e: e.tag.rsplit("}", 1)[-1]
    out = []
    for e in root.iter():
        if local(e) == "title-info":
            for f in e:
                if local(f) in ("book-title", "annotation"):
                    out.append(" ".join(f.itertext()))
        elif local(e) == "body":
            out.append(" ".join(e.itertext()))
    return "\n".join(out)


def html_text(markup):
    import html
    return html.unescape(re.sub(r"(?is)<(script|style|head)\b.*?</\1>|<[^>]*>", " ", markup))


def unquoted(text):
    """Without the quoted reply lines (">"), which the plug-in leaves out."""
    return "\n".join(l for l in text.splitlines() if not l.lstrip().startswith(">"))


RTF_PRESET = (b"{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss "
              b"\\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier"
              b"{\\colortbl\\red0\\green0\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx")


def lzfu(data):
    """The RTF of a compressed RTF body (the LZFu scheme of Outlook)."""
    import struct
    size, raw, kind = struct.unpack_from("<III", data)
    body = data[16:16 + size - 12]
    if kind == 0x414C454D:  # "MELA": stored
        return bytes(body[:raw])
    d = bytearray(4096)
    d[:len(RTF_PRESET)] = RTF_PRESET
    w, out, i = len(RTF_PRESET), bytearray(), 0
    while i < len(body):
        flags = body[i]
        i += 1
        for bit in range(8):
            if i >= len(body):
                break
            if flags >> bit & 1:
                ref = body[i] << 8 | body[i + 1]
                i += 2
                off, n = ref >> 4, (ref & 15) + 2
                if off == w:
                    return bytes(out)
                for k in range(n):
                    c = d[(off + k) % 4096]
                    out.append(c)
                    d[w] = c
                    w = (w + 1) % 4096
            else:
                out.append(body[i])
                d[w] = body[i]
                w = (w + 1) % 4096
                i += 1
    return bytes(out)


def rtf_bytes_text(rtf):
    import tempfile
    with tempfile.NamedTemporaryFile(suffix=".rtf") as f:
        f.write(rtf)
        f.flush()
        return pandoc(f.name, "rtf") or ""


def msg_text(path):
    """An Outlook message's subject and body by @kenjiuno/msgreader (npm):
    the plain body, else the HTML one with its tags taken out, else the
    compressed RTF (decompressed here) through pandoc; quoted lines left
    out."""
    here = os.path.dirname(os.path.abspath(__file__))
    text = run(["node", os.environ.get("MSGTEXT_JS", os.path.join(here, "msgtext.js")), path])
    if text is None:
        return None
    subject, _, body = text.partition("\n")
    if body.startswith("\x01HTML\x01"):
        body = html_text(body[6:])
    elif body.startswith("\x01RTF\x01"):
        import base64
        body = rtf_bytes_text(lzfu(base64.b64decode(body[5:])))
    return subject + "\n" + unquoted(body)


def tnef_subject(data):
    """The subject of a TNEF stream: its attSubject attribute, else the
    PR_SUBJECT of the message's MAPI property block (attMsgProps)."""
    import struct
    subject, props, at = "", None, 6
    while at + 9 <= len(data):
        level, ident, n = struct.unpack_from("<BII", data, at)
        if level == 1 and ident == 0x00018004:
            subject = data[at + 9:at + 9 + n].rstrip(b"\0").decode("cp1252", "replace")
        if level == 1 and ident == 0x00069003:
            props = data[at + 9:at + 9 + n]
        at += 9 + n + 2
    if subject or props is None:
        return subject
    pad = lambda k: (k + 3) & ~3
    fixed = {1: 4, 2: 4, 3: 4, 4: 4, 0xA: 4, 0xB: 4, 5: 8, 6: 8, 7: 8, 0x14: 8, 0x40: 8, 0x48: 16}
    count, at = struct.unpack_from("<I", props)[0], 4
    for _ in range(count):
        ptype, pid = struct.unpack_from("<HH", props, at)
        at += 4
        if pid >= 0x8000:  # a named property: its GUID, then an id or a name
            kind = struct.unpack_from("<I", props, at + 16)[0]
            at += 20
            at += 4 if kind == 0 else 4 + pad(struct.unpack_from("<I", props, at)[0])
        base, multi = ptype & 0x0FFF, bool(ptype & 0x1000)
        values = 1
        if multi or base in (0x1E, 0x1F, 0x102, 0xD):
            values = struct.unpack_from("<I", props, at)[0]
            at += 4
        for _ in range(values):
            if base in (0x1E, 0x1F, 0x102, 0xD):
                n = struct.unpack_from("<I", props, at)[0]
                value = props[at + 4:at + 4 + n]
                at += 4 + pad(n)
                if pid == 0x0037 and base == 0x1E:
                    return value.rstrip(b"\0").decode("cp1252", "replace")
                if pid == 0x0037 and base == 0x1F:
                    return value.decode("utf-16-le", "replace").rstrip("\0")
            elif base in fixed:
                at += fixed[base]
            else:
                return ""
    return ""


def tnef_text(path):
    """A TNEF stream's subject and the body `tnef --save-body` writes (plain
    text first, then HTML, then RTF through pandoc); attachments left out."""
    import tempfile
    with open(path, "rb") as f:
        data = f.read()
    with tempfile.TemporaryDirectory() as d:
        # -K: Convert-TNEF's test stream has a wrong checksum.
        run(["tnef", "-K", "-C", d, "--save-body=body", "--body-pref=thr", "-f", path])
        out = [tnef_subject(data)]
        for name in sorted(os.listdir(d)):
            if not name.startswith("body"):
                continue  # an attachment
            with open(os.path.join(d, name), "rb") as f:
                raw = f.read()
            if name.endswith(".rtf"):
                out.append(rtf_bytes_text(raw))
            elif name.endswith((".html", ".htm")):
                out.append(html_text(raw.decode("utf-8", "replace")))
            else:
                out.append(raw.decode("cp1252", "replace"))
        return unquoted("\n".join(out))


def node_script(name):
    here = os.path.dirname(os.path.abspath(__file__))
    return lambda p: run(["node", os.path.join(here, name), p])


def xhtml_text(cmd):
    def text(path):
        out = run(cmd + [path])
        return None if out is None else html_text(out)
    return text


def ssconvert_text(path):
    """gnumeric's cell values, every sheet as CSV, sheet after sheet."""
    import tempfile
    with tempfile.TemporaryDirectory() as d:
        if run(["ssconvert", "-S", "-T", "Gnumeric_stf:stf_csv", path,
                os.path.join(d, "%n.csv")]) is None:
            return None
        names = sorted(os.listdir(d), key=lambda n: int(n.split(".")[0]))
        if not names:
            return None
        out = []
        for n in names:
            with open(os.path.join(d, n), encoding="utf-8", errors="replace") as f:
                out.append(f.read())
        return "\n".join(out)


def pandoc(path, fmt):
    return run(["pandoc", "-f", fmt, "-t", "plain", "--wrap=none", path])


def text_content(path):
    """PowerPoint 95's own plain text of a presentation's slides, which it
    writes beside the records in a `Text_Content` stream (8-bit, in the
    document's code page: Windows-1252 in every sample; a carriage return
    ends a paragraph, 0x0B a line)."""
    p = subprocess.run(["gsf", "cat", path, "Text_Content"], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
    if p.returncode != 0:
        return None
    return p.stdout.decode("cp1252", "replace").replace("\r", "\n").replace("\x0b", "\n")


def sdc_text(path):
    """Every sheet of a StarCalc spreadsheet, by libstaroffice's sdc2csv: `-n N`
    converts the sheets 1 to N (as found, not sheet N alone), under a first
    line of column labels of its own (`Col1,Col2,...`), which is left out."""
    count = run(["sdc2csv", "-N", path])
    if count is None or not count.strip().isdigit():
        return None
    text = run(["sdc2csv", "-n", count.strip(), path])
    if text is None:
        return None
    return re.sub(r"\ACol1(,Col\d+)*\n", "", text)


def zmf_text(path):
    """The text libzmf draws, by its zmf2raw: the runs of its insertText
    calls, a line each (zmf2raw prints the calls, one a line)."""
    raw = run(["zmf2raw", path])
    if raw is None:
        return None
    return "".join(m.group(1) + "\n" for m in re.finditer(r"^\s*insertText \((.*)\)$", raw, re.M))


# The reference extractor of each format folder.
REFERENCE = {
    "pdf": lambda p: run(["pdftotext", "-enc", "UTF-8", p, "-"]),
    "ps": lambda p: run(["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=txtwrite",
                         "-sOutputFile=-", p]),
    "docx": lambda p: pandoc(p, "docx"),
    "odt": lambda p: pandoc(p, "odt"),
    "epub": lambda p: pandoc(p, "epub"),
    "rtf": lambda p: pandoc(p, "rtf"),
    "ods-odp": lambda p: run(["odt2txt", "--encoding=UTF-8", p]),
    "doc": lambda p: run(["antiword", "-m", "UTF-8.txt", "-w", "0", p])
    or run(["catdoc", "-d", "utf-8", "-w", p]),
    "xls": lambda p: run(["xls2csv", "-d", "utf-8", p]),
    "xls2-4": ssconvert_text,
    "ppt": lambda p: run(["catppt", "-d", "utf-8", p]),
    "ppt95": text_content,
    "xlsx": xlsx_text,
    "pptx": pptx_text,
    "djvu": lambda p: run(["djvutxt", p]),
    "mo": catalog_mo,
    "po": catalog_po,
    "qm": catalog_qm,
    "eml": mail_text,
    "fb2": fb2_text,
    "msg": msg_text,
    "tnef": tnef_text,
    "xlsb": node_script("xlsbtext.js"),
    "vsd": lambda p: run(["vsd2text", p]),
    "pub": xhtml_text(["pub2xhtml"]),
    "key": lambda p: run(["key2text", p]),
    "numbers": lambda p: run(["numbers2text", p]),
    "pages": lambda p: run(["pages2text", p]),
    "wpd": lambda p: run(["wpd2text", p]),
    "wps": lambda p: run(["wps2text", p]),
    "mwaw": lambda p: run(["mwaw2text", p]),
    "sdw": lambda p: run(["sd2text", p]),
    "sdc": sdc_text,
    "sdd": lambda p: run(["sd2text", p]),
    "qxp": lambda p: run(["qxp2text", p]),
    "qxp-retold": lambda p: run(["qxp2text", p]),
    "zmf": zmf_text,
}
REFERENCE_NAME = {
    "pdf": "pdftotext", "ps": "gs txtwrite", "docx": "pandoc", "odt": "pandoc",
    "epub": "pandoc", "rtf": "pandoc", "ods-odp": "odt2txt", "doc": "antiword (catdoc)",
    "xls": "xls2csv", "xls2-4": "ssconvert", "ppt": "catppt", "ppt95": "Text_Content stream", "xlsx": "openpyxl", "pptx": "a:t runs of slides+notes",
    "djvu": "djvutxt", "mo": "msgunfmt, msgstr", "po": "polib, msgstr",
    "qm": "lconvert, translation", "eml": "Python email", "fb2": "title, annotation, bodies",
    "msg": "msgreader", "tnef": "tnef --save-body -K", "xlsb": "SheetJS", "vsd": "vsd2text",
    "pub": "pub2xhtml", "key": "key2text", "numbers": "numbers2text", "pages": "pages2text",
    "wpd": "wpd2text", "wps": "wps2text", "mwaw": "mwaw2text",
    "sdw": "sd2text", "sdc": "sdc2csv, every sheet", "sdd": "sd2text",
    "qxp": "qxp2text", "qxp-retold": "qxp2text", "zmf": "zmf2raw, insertText",
}


def words(text):
    return WORD.findall(text.lower())


def order_score(ours, ref):
    """Of the words found exactly once in each list, the share in the longest
    run that keeps the reference's order."""
    co, cr = collections.Counter(ours), collections.Counter(ref)
    once = {w for w in cr if cr[w] == 1 and co.get(w) == 1}
    if len(once) < 5:
        return None
    where = {w: i for i, w in enumerate(ours) if w in once}
    seq = [where[w] for w in ref if w in once]
    tails = []
    for x in seq:
        k = bisect.bisect_left(tails, x)
        tails[k:k + 1] = [x]
    return len(tails) / len(seq)


def cached(path, make):
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            return f.read()
    text = make()
    if text is None:
        return None
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return text


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("corpus")
    ap.add_argument("--build", default="out/build")
    ap.add_argument("--work", default="/tmp/glotta-extraction")
    ap.add_argument("--dxtext", help="the dxtext program (default: in --build)")
    ap.add_argument("--filters", help="the plug-in's directory (default: in --build)")
    ap.add_argument("--only", default="")
    ap.add_argument("--fresh", action="store_true", help="make our text again")
    a = ap.parse_args()
    dxtext = a.dxtext or os.path.join(a.build, "tests", "dxtext")
    filters = a.filters or os.path.join(a.build, "filters", "dxfilter")
    only = set(filter(None, a.only.split(",")))
    rows = []
    capped_docs = set()
    for fmt in sorted(os.listdir(a.corpus)):
        if fmt not in REFERENCE or (only and fmt not in only):
            continue
        os.makedirs(os.path.join(a.work, "ours", fmt), exist_ok=True)
        os.makedirs(os.path.join(a.work, "ref", fmt), exist_ok=True)
        for name in sorted(os.listdir(os.path.join(a.corpus, fmt))):
            path = os.path.join(a.corpus, fmt, name)
            ours_path = os.path.join(a.work, "ours", fmt, name + ".txt")
            if a.fresh and os.path.exists(ours_path):
                os.remove(ours_path)
            ours = cached(ours_path, lambda: (run([dxtext, filters, path], 600) or "")
                          .rstrip("\n").rstrip("\f"))
            try:
                ref = cached(os.path.join(a.work, "ref", fmt, name + ".txt"),
                             lambda: REFERENCE[fmt](path))
            except Exception as e:  # a reference tool that cannot read it
                print(f"{fmt}/{name}: reference failed: {e}", file=sys.stderr)
                ref = None
            if ref is None:
                rows.append((fmt, name, None, None, None, 0, len(words(ours or "")), 0, None, None))
                continue
            wo, wr = words(ours or ""), words(ref)
            # The plug-in gives at most kMaxTextUnits UTF-16 units of a
            # document: a text cut there is compared with as many words of
            # the reference.
            capped = sum(2 if ord(c) > 0xFFFF else 1 for c in ours or "") >= CAP_UNITS - 100
            if capped:
                wr = wr[:len(wo)]
                capped_docs.add((fmt, name))
            co, cr = collections.Counter(wo), collections.Counter(wr)
            common = sum((co & cr).values())
            recall = common / len(wr) if wr else (1.0 if not wo else None)
            precision = common / len(wo) if wo else (1.0 if not wr else 0.0)
            so, sr = set(wo), set(wr)
            vrecall = len(so & sr) / len(sr) if sr else None
            vprecision = len(so & sr) / len(so) if so else (1.0 if not sr else 0.0)
            rows.append((fmt, name, recall, precision, order_score(wo, wr), len(wr), len(wo),
                         common, vrecall, vprecision))
    with open(os.path.join(a.work, "documents.tsv"), "w") as f:
        f.write("format\tdocument\trecall\tprecision\torder\tref_words\tour_words\tcommon"
                "\tvocabulary_recall\tvocabulary_precision\n")
        for r in rows:
            f.write("\t".join("-" if v is None else f"{v:.3f}" if isinstance(v, float) else str(v)
                              for v in r) + "\n")
    print("| format | reference | documents | compared | words (ref) | recall (median / pooled) "
          "| precision (median / pooled) | vocabulary recall / precision (median) "
          "| order (median) | below 0.9 | ours empty, ref not | capped |")
    print("|---|---|---:|---:|---:|---|---|---|---:|---:|---:|---:|")
    for fmt in sorted({r[0] for r in rows}):
        rs = [r for r in rows if r[0] == fmt]
        cmp_ = [r for r in rs if r[2] is not None and r[5] > 0]
        ref_words = sum(r[5] for r in cmp_)
        pooled_r = sum(r[7] for r in cmp_) / ref_words if ref_words else float("nan")
        our_words = sum(r[6] for r in cmp_)
        pooled_p = sum(r[7] for r in cmp_) / our_words if our_words else float("nan")
        med = lambda xs: statistics.median(xs) if xs else float("nan")
        low = sum(1 for r in cmp_ if r[2] < 0.9 or r[3] < 0.9)
        empty = sum(1 for r in cmp_ if r[6] == 0 and r[5] > 0)
        orders = [r[4] for r in cmp_ if r[4] is not None]
        print(f"| {fmt} | {REFERENCE_NAME[fmt]} | {len(rs)} | {len(cmp_)} | {ref_words} | "
              f"{med([r[2] for r in cmp_]):.3f} / {pooled_r:.3f} | "
              f"{med([r[3] for r in cmp_]):.3f} / {pooled_p:.3f} | "
              f"{med([r[8] for r in cmp_]):.3f} / {med([r[9] for r in cmp_]):.3f} | "
              f"{med(orders):.3f} | {low} | {empty} | "
              f"{sum(1 for r in rs if (fmt, r[1]) in capped_docs)} |")


if __name__ == "__main__":
    main()
