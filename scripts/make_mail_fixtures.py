#!/usr/bin/env python3
"""Makes the e-mail samples of tests/data/dxfilter/mail/ with Python's email
package, Outlook message files with scripts/fixtures/outlook_msg.py and TNEF
streams (winmail.dat) with scripts/fixtures/tnef.py, byte
for byte the same each time (fixed dates, message ids and boundaries), and
prints their rows of formats.tsv. The RTF bodies of the Outlook samples also
go, uncompressed, to tests/data/fuzz/rtf_reader/ (seeds of fuzz_rtf_reader).

    scripts/make_mail_fixtures.py >> tests/data/dxfilter/formats.tsv

Every message opens with the routing headers real mail carries (Received,
DKIM-Signature), so that its first 2 KiB hold no word of the body."""
import gzip
import html as html_lib
import os
import re
import sys
from email.message import EmailMessage
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.header import Header
from email import charset as email_charset
from email import policy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
import outlook_msg  # noqa: E402
import tnef  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
OUT = os.path.join(ROOT, "tests", "data", "dxfilter", "mail")
SEEDS = os.path.join(ROOT, "tests", "data", "fuzz", "rtf_reader")

TEXT = {
    "de": "Liebe Kolleginnen und Kollegen, wir treffen uns am Donnerstag um zehn Uhr "
          "im großen Saal, um über die Pläne für das kommende Jahr zu sprechen. Bitte "
          "bringt eure Unterlagen mit und gebt mir bis Mittwoch Bescheid, ob ihr "
          "teilnehmen könnt. Für Kaffee und Kuchen ist gesorgt, und nach der Sitzung "
          "gehen wir gemeinsam zum Mittagessen in das Gasthaus am Marktplatz.",
    "fr": "Chers amis, nous nous retrouverons samedi prochain devant la mairie pour la "
          "promenade annuelle au bord de la rivière. N'oubliez pas vos chaussures de "
          "marche et un pique-nique, car nous déjeunerons dans la prairie près du vieux "
          "moulin. En cas de pluie, la sortie sera reportée à la semaine suivante et je "
          "vous enverrai un message la veille.",
    "es": "Hola a todos, la reunión de vecinos será el martes por la tarde en la "
          "biblioteca del barrio. Hablaremos de la limpieza del parque, de las nuevas "
          "farolas de la calle mayor y de la fiesta de verano. Si no podéis venir, "
          "escribidme antes del lunes y os contaré lo que decidamos entre todos.",
    "ru": "Дорогие друзья, в следующую субботу мы собираемся на даче у реки. Возьмите "
          "с собой тёплые вещи, потому что вечером у воды бывает прохладно. Мы будем "
          "жарить шашлыки, играть в волейбол и петь песни у костра до самой ночи.",
    "en": "Hello everyone, the library will be closed on Monday while the new shelves "
          "are put in. Books that are due that day can be returned on Tuesday without "
          "a fine, and the reading room on the first floor opens again at nine.",
}
SUBJECT = {
    "de": "Treffen am Donnerstag im großen Saal",
    "fr": "Promenade au bord de la rivière samedi",
    "es": "Reunión de vecinos el martes",
    "ru": "Встреча на даче в субботу",
    "en": "Library closed on Monday",
}


def routing(msg, n):
    """Headers before the interesting ones, as a mail server adds them."""
    for i in range(3):
        msg["Received"] = (
            f"from relay{i}.example.net (relay{i}.example.net [192.0.2.{10 + i}]) "
            f"by mx{i}.example.org (Postfix) with ESMTPS id 4X{n}Q{i}Z7k2 "
            f"for <list@example.org>; Mon, 1 Jan 2024 10:0{i}:00 +0000 (UTC)")
    msg["DKIM-Signature"] = (
        "v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.net; s=mail; "
        "h=from:to:subject:date:message-id; bh=" + "A" * 43 + "=; b=" + "B" * 340)
    msg["Return-Path"] = "<sender@example.net>"


def common(msg, n, lang):
    msg["From"] = "Sender <sender@example.net>"
    msg["To"] = "list@example.org"
    msg["Date"] = "Mon, 1 Jan 2024 10:00:00 +0000"
    msg["Message-ID"] = f"<{n}.{lang}@example.net>"


def simple(n, lang, charset, cte, subject=None, body=None):
    msg = MIMEText("", "plain", None)
    del msg["Content-Type"], msg["MIME-Version"], msg["Content-Transfer-Encoding"]
    routing(msg, n)
    common(msg, n, lang)
    msg["Subject"] = Header(subject or SUBJECT[lang], charset).encode()
    msg["MIME-Version"] = "1.0"
    body = body or TEXT[lang] + "\n"
    cs = email_charset.Charset(charset)
    cs.body_encoding = {"qp": email_charset.QP, "b64": email_charset.BASE64, "8bit": None}[cte]
    msg.set_payload(body, cs)
    if cte == "8bit":
        # The email package writes 8-bit bodies only as text: put the bytes in.
        msg.set_payload("@BODY@\n", email_charset.Charset("us-ascii"))
        msg.replace_header("Content-Type", f'text/plain; charset="{charset}"')
        msg.replace_header("Content-Transfer-Encoding", "8bit")
        return msg.as_bytes(policy=policy.compat32).replace(
            b"@BODY@", TEXT[lang].encode(charset))
    return msg


def html(text):
    return ("<html><head><style>p {color: red}</style></head><body><p>"
            + text.replace(", ", ",<br> ") + "</p></body></html>\n")


# Outlook's conversation index property: longer than 22 bytes in a reply.
CONVERSATION_INDEX = 0x0071


def html_reply(n, lang, subject, body, reply=True):
    """An HTML-only message in UTF-8 (quoted-printable), answering message 9
    (In-Reply-To) unless `reply` is false."""
    msg = MIMEText(html_page(body), "html", "utf-8")
    routing(msg, n)
    common(msg, n, lang)
    msg["Subject"] = Header(subject, "utf-8").encode()
    if reply:
        msg["In-Reply-To"] = "<9.en@example.net>"
    return msg


def html_page(body):
    return ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8">'
            "</head><body>" + body + "</body></html>\n")


def rtf_escape(text):
    """Text as RTF: braces and backslashes escaped, line breaks as \\par,
    windows-1252 bytes beyond ASCII as \\'hh, other characters as \\uN."""
    out = []
    for c in text:
        if c in "\\{}":
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\par\r\n")
        elif ord(c) < 128:
            out.append(c)
        else:
            try:
                out.append("\\'%02x" % c.encode("cp1252")[0])
            except UnicodeEncodeError:
                out.append("\\u%d?" % ord(c))
    return "".join(out)


RTF_HEAD = "{\\rtf1\\ansi\\ansicpg1252\\%s \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\r\n"


def rtf_from_html(page):
    """HTML kept in RTF as Outlook keeps an HTML message: each tag and
    character reference in a {\\*\\htmltag} group, the text between them as
    it is; what only the RTF shows (a paragraph's end, a reference's
    character) in \\htmlrtf runs."""
    out = [RTF_HEAD % "fromhtml1"]
    for tag, ref, text in re.findall(r"(<[^>]*>)|(&#?\w+;)|([^<&]+)", page):
        if tag:
            out.append("{\\*\\htmltag64 " + rtf_escape(tag) + "}")
            if tag.lower() in ("</p>", "<br>"):
                out.append("\\htmlrtf\\par\\htmlrtf0\r\n")
        elif ref:
            out.append("{\\*\\htmltag84 " + ref + "}\\htmlrtf " + rtf_escape(html_lib.unescape(ref))
                       + "\\htmlrtf0 ")
        else:
            out.append(rtf_escape(text))
    return ("".join(out) + "}").encode("ascii")


def rtf_from_text(text):
    """Plain text kept in RTF (\\fromtext), a paragraph a line."""
    return (RTF_HEAD % "fromtext" + "\\pard\\plain\\f0\\fs20 " + rtf_escape(text)
            + "}").encode("ascii")


def seed(name, rtf):
    """An RTF body as a seed of the RTF reader's fuzz target; returns it."""
    with open(os.path.join(SEEDS, name), "wb") as f:
        f.write(rtf)
    return rtf


def write(name, msg, grep, fmt=348):
    data = msg if isinstance(msg, bytes) else msg.as_bytes(policy=policy.compat32)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
    print(f"mail/{name}\t{fmt}\t{grep}")


# The property list Apple Mail keeps after a message in an .emlx file: flags
# and dates, English words the reader must never see.
EMLX_PLIST = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
    '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n'
    '<plist version="1.0">\n<dict>\n'
    '\t<key>date-last-viewed</key>\n\t<integer>1704103500</integer>\n'
    '\t<key>date-received</key>\n\t<integer>1704103200</integer>\n'
    '\t<key>flags</key>\n\t<integer>8590195713</integer>\n'
    '\t<key>remote-id</key>\n\t<string>4711</string>\n'
    '</dict>\n</plist>\n').encode()


def emlx(message, padded=False):
    """An Apple Mail message file: the message's length in bytes on the first
    line (padded with blanks to ten characters as some versions write it),
    the message, then its property list."""
    data = message if isinstance(message, bytes) else message.as_bytes(policy=policy.compat32)
    count = f"{len(data):<10}" if padded else str(len(data))
    return count.encode() + b"\n" + data + EMLX_PLIST


def main():
    for folder in (OUT, SEEDS):
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            os.remove(os.path.join(folder, old))
    write("de-qp.eml", simple(1, "de", "utf-8", "qp"), "Donnerstag")
    de = simple(1, "de", "utf-8", "qp").as_bytes(policy=policy.compat32)
    write("de-qp.eml.gz", gzip.compress(de, 9, mtime=0), "Donnerstag", 347)
    write("fr-b64.eml", simple(2, "fr", "utf-8", "b64"), "rivière")
    write("es-latin1-qp.eml", simple(3, "es", "iso-8859-1", "qp"), "vecinos")
    write("ru-koi8r-8bit.eml", simple(4, "ru", "koi8-r", "8bit"), "субботу")
    write("en-8bit.eml", simple(5, "en", "us-ascii", "8bit"), "library")

    # multipart/alternative: the plain alternative is read.
    alt = MIMEMultipart("alternative", boundary="=====alt-fr=====")
    routing(alt, 6)
    common(alt, 6, "fr")
    alt["Subject"] = Header(SUBJECT["fr"], "utf-8").encode()
    alt.attach(MIMEText(TEXT["fr"] + "\n", "plain", "utf-8"))
    alt.attach(MIMEText(html(TEXT["fr"]), "html", "utf-8"))
    write("fr-alternative.eml", alt, "moulin")

    # HTML only, in a legacy charset declared by the part.
    only = MIMEText(html(TEXT["de"]), "html", "iso-8859-1")
    routing(only, 7)
    common(only, 7, "de")
    only["Subject"] = Header(SUBJECT["de"], "iso-8859-1").encode()
    write("de-html-only.eml", only, "Gasthaus")

    # Text with an attachment (English PDF bytes and an English text file).
    mixed = MIMEMultipart("mixed", boundary="----mixed-es")
    routing(mixed, 8)
    common(mixed, 8, "es")
    mixed["Subject"] = Header(SUBJECT["es"], "utf-8").encode()
    mixed.attach(MIMEText(TEXT["es"] + "\n", "plain", "utf-8"))
    pdf = MIMEApplication(b"%PDF-1.4\n% " + TEXT["en"].encode() * 20, "pdf")
    pdf.add_header("Content-Disposition", "attachment", filename="notice.pdf")
    mixed.attach(pdf)
    note = MIMEText((TEXT["en"] + "\n") * 20, "plain", "us-ascii")
    note.add_header("Content-Disposition", "attachment", filename="notice.txt")
    mixed.attach(note)
    write("es-attachment.eml", mixed, "farolas")

    # A German reply quoting a long English message: the quote is dropped.
    quoted = "".join("> " + line + "\n" for line in ((TEXT["en"] + " ") * 6).split(". "))
    reply = simple(9, "de", "utf-8", "qp", "Re: " + SUBJECT["en"],
                   "Danke, das passt mir gut. Ich komme am Dienstag vorbei und bringe "
                   "die Bücher mit, die ich mir im Herbst ausgeliehen habe.\n\n"
                   "Am Montag schrieb Sender:\n" + quoted)
    write("de-reply-en-quote.eml", reply, "Bücher")

    # The same reply written above the whole English message, as Outlook
    # sends it: a header block, then the original without quote marks.
    original = "".join(line + "\n" for line in ((TEXT["en"] + " ") * 6).split(". "))
    reply = simple(13, "de", "utf-8", "qp", "AW: " + SUBJECT["en"],
                   "Danke, das passt mir gut. Ich komme am Dienstag vorbei und bringe "
                   "die Bücher mit, die ich mir im Herbst ausgeliehen habe.\n\n"
                   "Von: Sender <sender@example.net>\nGesendet: Montag, 4. März 2024 10:00\n"
                   "An: Empfänger <recipient@example.net>\nBetreff: " + SUBJECT["en"] + "\n\n"
                   + original)
    write("de-reply-outlook.eml", reply, "Bücher")

    # An mbox of three messages (German, French, Spanish), in that order.
    parts = []
    for n, lang in ((10, "de"), (11, "fr"), (12, "es")):
        m = simple(n, lang, "utf-8", "qp")
        parts.append(b"From sender@example.net Mon Jan  1 10:00:00 2024\n"
                     + m.as_bytes(policy=policy.compat32) + b"\n")
    write("de-fr-es.mbox", b"".join(parts), "Donnerstag")

    # Look-alikes that stay text: a Debian copyright file, a patch description.
    write("copyright.txt",
          b"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
          b"Upstream-Name: example\nUpstream-Contact: A <a@example.net>\n"
          b"Source: https://example.net/\n\nFiles: *\nCopyright: 2024 A\nLicense: MIT\n", "-", 2)
    write("fix.patch",
          b"From: A <a@example.net>\nSubject: Fix the build with newer compilers\n"
          b"Forwarded: no\n\n--- a/main.c\n+++ b/main.c\n@@ -1 +1 @@\n-int x\n+int x;\n", "-", 2)

    # Gaps the reader once had: a UTF-8 byte-order mark before the header; a
    # text/enriched part and a flowed text/plain one; a charset and a
    # boundary given in RFC 2231 form; a header block longer than the 8 KiB
    # the format rules read (routing and signature fields only), plain and
    # gzipped.
    bom = simple(13, "fr", "utf-8", "8bit")
    write("fr-bom.eml", b"\xef\xbb\xbf" + bom, "rivière")
    enriched = (b"Received: from relay.example.net by mx.example.org; Mon, 1 Jan 2024\n"
                b"Date: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: sender@example.net\n"
                b"Subject: =?utf-8?q?Reuni=C3=B3n?=\nMIME-Version: 1.0\n"
                b"Content-Type: multipart/mixed; boundary*0=\"part-\"; boundary*1=\"es\"\n\n"
                b"--part-es\nContent-Type: text/enriched; charset*=iso-8859-1''\n\n"
                b"<bold><param>x-color</param>" + TEXT["es"][:140].encode("iso-8859-1")
                + b"</bold>\n--part-es\nContent-Type: text/plain; charset=utf-8; format=flowed;"
                b" delsp=yes\n\n" + "".join(w + " \n" for w in TEXT["es"][140:].split(" "))
                .encode() + b"\n--part-es--\n")
    write("es-enriched-flowed.eml", enriched, "farolas")
    long_head = b"".join(
        b"Received: from relay%d.example.net by mx.example.org with ESMTPS id %04d;\n"
        b"\tMon, 1 Jan 2024 10:00:00 +0000\nDKIM-Signature: v=1; a=rsa-sha256; b=%s\n"
        % (i, i, b"C" * 200) for i in range(40))
    deep = long_head + simple(14, "de", "utf-8", "qp").as_bytes(policy=policy.compat32)
    write("de-long-header.eml", deep, "Donnerstag")
    write("de-long-header.eml.gz", gzip.compress(deep, 9, mtime=0), "Donnerstag", 347)

    # HTML-only replies above the English message they answer, quoted the
    # way mail programs mark it (the quote goes); a forward with nothing
    # above the quote (it stays).
    english_html = "".join("<p>" + line + "</p>" for line in ((TEXT["en"] + " ") * 6).split(". "))
    english = english_html
    write("de-html-reply-thunderbird.eml", html_reply(15, "de", "Re: " + SUBJECT["en"], (
        '<p>Vielen Dank f\u00fcr die Nachricht. Ich bringe die geliehenen B\u00fccher am '
        'Dienstag zur\u00fcck und hole bei der Gelegenheit die bestellten Zeitschriften ab.</p>'
        '<div class="moz-cite-prefix">Am 04.03.24 um 10:00 schrieb Sender:<br></div>\n'
        '<blockquote type="cite" cite="mid:9.en@example.net">' + english + '</blockquote>')),
        "Zeitschriften")
    write("es-html-reply-gmail.eml", html_reply(16, "es", "Re: " + SUBJECT["en"], (
        '<div dir="ltr">Muchas gracias por avisar. El martes pasar\u00e9 por la biblioteca '
        'para devolver los libros y recoger las revistas que encargu\u00e9 la semana '
        'pasada.</div><br>\n<div class="gmail_quote gmail_quote_container"><div dir="ltr" '
        'class="gmail_attr">El lun, 4 mar 2024 a las 10:00, Sender &lt;<a href="mailto:'
        'sender@example.net">sender@example.net</a>&gt; escribi\u00f3:<br></div>\n'
        '<blockquote class="gmail_quote" style="margin:0px 0px 0px 0.8ex;border-left:1px '
        'solid rgb(204,204,204);padding-left:1ex"><div dir="ltr">' + english
        + '</div></blockquote></div>')), "revistas")
    write("de-html-reply-outlook-web.eml", html_reply(17, "de", "AW: " + SUBJECT["en"], (
        '<div style="font-family: Aptos, sans-serif">Gerne, ich komme am Dienstag vorbei und '
        'bringe die B\u00fccher mit, die noch bei mir im Regal stehen.</div>\n'
        '<div id="appendonsend"></div><hr style="display:inline-block;width:98%" '
        'tabindex="-1"><div id="divRplyFwdMsg" dir="ltr"><b>Von:</b> Sender '
        '&lt;sender@example.net&gt;<br><b>Gesendet:</b> Montag, 4. M\u00e4rz 2024 10:00<br>'
        '<b>Betreff:</b> ' + SUBJECT["en"] + '</div>\n<div>' + english + '</div>')),
        "Regal")
    # A reply over a header block written as lines of text, without an
    # element marking it (Outlook without its border, web mail programs).
    write("de-html-reply-header-lines.eml", html_reply(19, "de", "AW: " + SUBJECT["en"], (
        '<div>Danke f\u00fcr die Nachricht, ich bringe die B\u00fccher am Dienstag mit dem '
        'Fahrrad zur\u00fcck.</div><div><br></div>\n<div><b>Von:</b> Sender '
        '&lt;sender@example.net&gt;<br><b>Gesendet:</b> Montag, 4. M\u00e4rz 2024 10:00<br>'
        '<b>An:</b> list@example.org<br><b>Betreff:</b> ' + SUBJECT["en"] + '</div>\n'
        '<div><br></div><div>' + english + '</div>')), "Fahrrad")
    # Plain text shown as HTML (web mail programs): the reply and the header
    # block of the message it answers as lines of a <pre>; the quote goes.
    english_lines = ((TEXT["en"] + " ") * 6).replace(". ", ".\n")
    write("de-html-reply-pre.eml", html_reply(20, "de", "AW: " + SUBJECT["en"], (
        '<pre>Danke f\u00fcr die Nachricht, ich bringe die B\u00fccher am Dienstag mit dem '
        'Anh\u00e4nger zur\u00fcck.\n\nVon: Sender &lt;sender@example.net&gt;\nGesendet: '
        'Montag, 4. M\u00e4rz 2024 10:00\nAn: list@example.org\nBetreff: ' + SUBJECT["en"]
        + '\n\n' + english_lines + '</pre>')), "Anh\u00e4nger")
    # Outlook for Mac in Catalan: its rule over the header block written
    # colour first, labels the header rule does not know and a time written
    # "10.00"; the quote goes.
    write("es-html-reply-mac-border.eml", html_reply(21, "es", "Re: " + SUBJECT["en"], (
        '<div>Muchas gracias por avisar. El martes pasar\u00e9 por la biblioteca con mi '
        'sobrina para devolver los libros.</div><div><br></div><span id="OLK_SRC_BODY_SECTION">'
        '<div style="font-family:Calibri; font-size:12pt; text-align:left; color:black; '
        'BORDER-BOTTOM: medium none; BORDER-LEFT: medium none; PADDING-BOTTOM: 0in; '
        'PADDING-LEFT: 0in; PADDING-RIGHT: 0in; BORDER-TOP: #b5c4df 1pt solid; BORDER-RIGHT: '
        'medium none; PADDING-TOP: 3pt"><span style="font-weight:bold">De: </span>Sender '
        '&lt;sender@example.net&gt;<br><span style="font-weight:bold">Data: </span>dilluns, 4 '
        'de mar\u00e7 de 2024 a les 10.00<br><span style="font-weight:bold">Per a: </span>'
        'list@example.org<br><span style="font-weight:bold">Assumpte: </span>' + SUBJECT["en"]
        + '<br></div><div><br></div>' + english_html + '</span>')), "sobrina")
    # A look-alike that stays English: a German note in a <pre> above an
    # English notice that lists its own fields (no address, no time).
    write("de-html-pre-fields.eml", html_reply(22, "de", "Aushang", (
        '<pre>Hier der Aushang f\u00fcr n\u00e4chste Woche:\n\nFrom: The library\nTo: All '
        'readers\nSubject: ' + SUBJECT["en"] + '\n\n' + english_lines + '</pre>')), "Aushang")
    # Plain text shown as HTML quoting as plain text does: a German reply in
    # a <pre> above the line introducing the quote and the English message
    # with its quote marks ("&gt; "), an older quote among them ("&gt;
    # &gt; "); the quote goes.
    quoted = english_lines.splitlines()
    write("de-html-reply-pre-quoted.eml", html_reply(23, "de", "Re: " + SUBJECT["en"], (
        '<pre>Danke f\u00fcr die Nachricht, ich bringe die B\u00fccher am Dienstag mit dem '
        'Lastenrad zur\u00fcck.\n\nAm 04.03.24 um 10:00 schrieb Sender &lt;sender@example.net'
        '&gt;:\n' + "".join("&gt; " + line + "\n" for line in quoted[:-2]) + "&gt;\n"
        + "".join("&gt; &gt; " + line + "\n" for line in quoted[-2:]) + '</pre>')),
        "Lastenrad")
    # A French reply in a div whose style keeps line breaks (as web mail
    # programs show plain text), above the header block of the English
    # message as lines; the quote goes.
    write("fr-html-reply-pre-wrap.eml", html_reply(24, "fr", "RE: " + SUBJECT["en"], (
        '<div style="font-family: sans-serif; white-space: pre-wrap">Merci pour le message, '
        'je passerai mardi matin rendre les livres avec ma voisine.\n\nDe : Sender '
        '&lt;sender@example.net&gt;\nEnvoy\u00e9 : lundi 4 mars 2024 10:00\n\u00c0 : '
        'list@example.org\nObjet : ' + SUBJECT["en"] + '\n\n' + english_lines + '</div>')),
        "voisine")
    # A look-alike that stays whole: a Spanish message with an empty <pre/>
    # (as XML writers put it) above a paragraph whose lines of source give a
    # sign-up's fields (an address, a time), then more Spanish text.
    write("es-html-pre-empty.eml", html_reply(25, "es", "Inscripci\u00f3n", (
        '<p>Hola Marta:</p><pre class="moz-signature" cols="72"/>\n<p>Te paso los datos '
        'para la inscripci\u00f3n de mi hija en el curso de nataci\u00f3n de los s\u00e1bados, '
        'tal como hablamos por tel\u00e9fono.\nNombre: Luc\u00eda G\u00f3mez\nCorreo: '
        'lucia.gomez@example.net\nPrimera clase: s\u00e1bado 9 de marzo, 10:00</p>\n<p>'
        + TEXT["es"] + ' Muchas gracias por todo y hasta el s\u00e1bado.</p>'), reply=False),
        "nataci\u00f3n")
    # Replies and forwards from mail programs with quote marks of their own:
    # Proton Mail (a div and a blockquote of class protonmail_quote), Tuta (a
    # forward: the original's fields as lines, then a blockquote of class
    # tutanota_quote); Outlook's rule over its header block as a web mail
    # program writes it back ("rgb(225, 225, 225)"), over Catalan labels the
    # header rule does not know. The quote goes.
    write("fr-html-reply-proton.eml", html_reply(26, "fr", "Re: " + SUBJECT["en"], (
        '<div style="font-family: Arial, sans-serif; font-size: 14px;">Merci pour le message, '
        'je passerai mardi rendre les livres avec mon neveu.</div><div style="font-family: '
        'Arial, sans-serif; font-size: 14px;"><br></div>\n<div class="protonmail_signature_block"'
        ' style="font-family: Arial, sans-serif; font-size: 14px;"><div class="protonmail_'
        'signature_block-user protonmail_signature_block-empty"></div><div class="protonmail_'
        'signature_block-proton">Sent with <a target="_blank" href="https://proton.me/mail/home">'
        'Proton Mail</a> secure email.</div></div><div style="font-family: Arial, sans-serif; '
        'font-size: 14px;"><br></div>\n<div class="protonmail_quote">On Monday, March 4th, 2024 '
        'at 10:00 AM, Sender &lt;sender@example.net&gt; wrote:<br><br><blockquote class='
        '"protonmail_quote" type="cite">' + english_html + '</blockquote><br></div>')),
        "neveu")
    write("de-html-forward-tuta.eml", html_reply(27, "de", "FWD: " + SUBJECT["en"], (
        'Hallo Jana, lies bitte die Nachricht unten, wir m\u00fcssen die B\u00fccher schon am '
        'Freitag in die Bibliothek bringen.<br><br>Datum: 04.03.2024 10:00<br>Von: '
        'sender@example.net<br>An: list@example.org<br>Betreff: ' + SUBJECT["en"] + '<br><br>'
        '<blockquote class="tutanota_quote">' + english_html + '</blockquote>'), reply=False),
        "Jana")
    write("es-html-reply-rgb-border.eml", html_reply(28, "es", "RE: " + SUBJECT["en"], (
        '<div>Gracias por el aviso. El mi\u00e9rcoles llevar\u00e9 los libros a la biblioteca '
        'con mi cu\u00f1ada.</div><div><br></div><div><div style="border: none; border-top: '
        'solid rgb(225, 225, 225) 1pt; padding: 3pt 0cm 0cm 0cm"><p><b>De:</b> Sender '
        '&lt;sender@example.net&gt;<br><b>Data:</b> dilluns, 4 de mar\u00e7 de 2024 a les '
        '10.00<br><b>Per a:</b> list@example.org<br><b>Assumpte:</b> ' + SUBJECT["en"]
        + '</p></div></div>' + english_html)), "cu\u00f1ada")
    write("fr-html-forward.eml", html_reply(18, "fr", "Fwd: " + SUBJECT["fr"], (
        '<div class="gmail_quote gmail_quote_container"><div dir="ltr" class="gmail_attr">'
        '---------- Forwarded message ---------<br>From: Sender &lt;sender@example.net&gt;'
        '<br>Date: Mon, 1 Jan 2024 at 10:00<br>Subject: ' + SUBJECT["fr"] + '<br></div><br>'
        '<div dir="ltr">' + TEXT["fr"] + '</div></div>'), reply=False), "moulin")

    # Outlook message files: UTF-16 strings (a body long enough for sectors
    # of its own), 8-bit strings in the message's code page, HTML only (bytes
    # declaring their charset), RTF only (compressed), and damaged ones.
    M = outlook_msg
    u16 = lambda t: t.encode("utf-16-le")
    de_body = ((TEXT["de"] + "\r\n\r\n") * 6
               + "".join("> " + TEXT["en"] + "\r\n" for _ in range(8)))
    de_msg = M.message([(M.SUBJECT, M.UNICODE, u16(SUBJECT["de"])),
                        (M.BODY, M.UNICODE, u16(de_body))])
    write("de-unicode.msg", de_msg, "Donnerstag")
    write("de-unicode.msg.gz", gzip.compress(de_msg, 9, mtime=0), "Donnerstag", 347)
    ru = M.message([(M.SUBJECT, M.STRING8, SUBJECT["ru"].encode("cp1251") + b"\0"),
                    (M.BODY, M.STRING8, TEXT["ru"].encode("cp1251") + b"\0")], code_page=1251)
    write("ru-cp1251.msg", ru, "субботу")
    es = M.message([(M.SUBJECT, M.STRING8, SUBJECT["es"].encode("cp1252") + b"\0"),
                    (M.BODY, M.STRING8, TEXT["es"].encode("cp1252") + b"\0")])
    write("es-cp1252.msg", es, "vecinos")
    page = ('<html><head><meta http-equiv="Content-Type" content="text/html; '
            'charset=iso-8859-1"></head>' + html(TEXT["fr"])[6:])
    fr = M.message([(M.SUBJECT, M.UNICODE, u16(SUBJECT["fr"])),
                    (M.HTML, M.BINARY, page.encode("iso-8859-1"))])
    write("fr-html.msg", fr, "moulin")
    escaped = "".join(c if ord(c) < 128 else "\\'%02x" % c.encode("cp1252")[0]
                      for c in TEXT["es"])
    rtf = ("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
           "\\pard\\plain\\f0\\fs20 " + escaped + "\\par\r\n}").encode()
    es_rtf = M.message([(M.SUBJECT, M.UNICODE, u16(SUBJECT["es"])),
                        (M.RTF_COMPRESSED, M.BINARY, M.rtf_compressed(rtf))])
    write("es-rtf.msg", es_rtf, "vecinos")
    # A German message with a recipient, an English text file attached and
    # an English message attached: only the German text is read.
    english = (TEXT["en"] + "\r\n") * 10
    storages = {
        "__recip_version1.0_#00000000": M.recipient("List", "list@example.org"),
        "__attach_version1.0_#00000000": M.attachment(english.encode(), "notice.txt"),
        "__attach_version1.0_#00000001": M.embedded([
            (M.SUBJECT, M.UNICODE, u16(SUBJECT["en"])), (M.BODY, M.UNICODE, u16(english))]),
    }
    de_att = M.message([(M.SUBJECT, M.UNICODE, u16(SUBJECT["de"])),
                        (M.BODY, M.UNICODE, u16(TEXT["de"]))], storages=storages)
    write("de-attachments.msg", de_att, "Donnerstag")
    # An HTML-only reply as Outlook writes it: the French answer, then under
    # a grey-bordered header block the English message it answers; its
    # conversation index (22 bytes and a 5-byte block) tells a reply.
    fr_reply = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8">'
                '</head><body lang=FR><div class=WordSection1><p class=MsoNormal>Merci pour le '
                'message. Je passerai mardi matin rendre les livres emprunt\u00e9s et chercher '
                'les revues que j\'ai command\u00e9es le mois dernier.</p><p class=MsoNormal>'
                '&nbsp;</p><div><div style=\'border:none;border-top:solid #E1E1E1 1.0pt;'
                'padding:3.0pt 0cm 0cm 0cm\'><p class=MsoNormal><b>De&nbsp;:</b> Sender '
                '&lt;sender@example.net&gt;<br><b>Envoy\u00e9&nbsp;:</b> lundi 4 mars 2024 '
                '10:00<br><b>Objet&nbsp;:</b> ' + SUBJECT["en"] + '</p></div></div>'
                + english.replace("<p>", "<p class=MsoNormal>") + '</div></body></html>')
    fr_html = M.message([(M.SUBJECT, M.UNICODE, u16("RE: " + SUBJECT["en"])),
                         (CONVERSATION_INDEX, M.BINARY, bytes(range(1, 28))),
                         (M.HTML, M.UNICODE, u16(fr_reply))])
    write("fr-html-reply.msg", fr_html, "revues")
    # Replies whose only body is RTF, as Outlook keeps most mail: HTML
    # encapsulated in RTF (a German answer above the grey-bordered header
    # block of the English message it answers), plain text kept as RTF (a
    # French answer above a header block naming the sender without an
    # address); the quote goes. Look-alikes that stay whole: a German note
    # above an English passage in a blockquote, in a message that answers
    # none; a German note above an English notice that lists its own fields.
    english_p = english_html.replace("<p>", "<p class=MsoNormal>")
    de_reply = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=utf-8">'
                '</head><body lang=DE><div class=WordSection1><p class=MsoNormal>Gerne, ich '
                'komme am Dienstag vorbei und bringe die B\u00fccher mit, die noch bei mir im '
                'Regal stehen. Sch\u00f6ne Gr\u00fc\u00dfe an das ganze Team!</p><p '
                'class=MsoNormal>&nbsp;</p><div><div style=\'border:none;border-top:solid '
                '#E1E1E1 1.0pt;padding:3.0pt 0cm 0cm 0cm\'><p class=MsoNormal><b>Von:</b> Sender '
                '&lt;sender@example.net&gt;<br><b>Gesendet:</b> Montag, 4. M\u00e4rz 2024 10:00'
                '<br><b>Betreff:</b> ' + SUBJECT["en"] + '</p></div></div>' + english_p
                + '</div></body></html>')
    write("de-rtf-html-reply.msg", M.message([
        (M.SUBJECT, M.UNICODE, u16("AW: " + SUBJECT["en"])),
        (CONVERSATION_INDEX, M.BINARY, bytes(range(1, 28))),
        (M.RTF_COMPRESSED, M.BINARY,
         M.rtf_compressed(seed("de-rtf-html-reply.rtf", rtf_from_html(de_reply))))]), "Regal")
    fr_text = ("Merci pour le message. Je passerai mardi matin rendre les livres emprunt\u00e9s et "
               "chercher les revues que j'ai command\u00e9es le mois dernier.\n\n"
               "De : Sender\nEnvoy\u00e9 : lundi 4 mars 2024 10:00\n\u00c0 : Lecteurs\n"
               "Objet : " + SUBJECT["en"] + "\n\n" + original)
    write("fr-rtf-text-reply.msg", M.message([
        (M.SUBJECT, M.UNICODE, u16("RE: " + SUBJECT["en"])),
        (CONVERSATION_INDEX, M.BINARY, bytes(range(1, 28))),
        (M.RTF_COMPRESSED, M.BINARY,
         M.rtf_compressed(seed("fr-rtf-text-reply.rtf", rtf_from_text(fr_text))))]), "revues")
    de_cite = ('<html><body><p>Ein sch\u00f6ner Absatz aus dem Buch:</p><blockquote>'
               + english_html + '</blockquote></body></html>')
    write("de-rtf-html-citation.msg", M.message([
        (M.SUBJECT, M.UNICODE, u16("Zitat")),
        (M.RTF_COMPRESSED, M.BINARY,
         M.rtf_compressed(seed("de-rtf-html-citation.rtf", rtf_from_html(de_cite))))]), "Absatz")
    de_fields = ("Hier der Aushang f\u00fcr n\u00e4chste Woche:\n\nFrom: The library\n"
                 "To: All readers\nSubject: " + SUBJECT["en"] + "\n\n" + original)
    write("de-rtf-text-fields.msg", M.message([
        (M.SUBJECT, M.UNICODE, u16("Aushang")),
        (CONVERSATION_INDEX, M.BINARY, bytes(range(1, 28))),
        (M.RTF_COMPRESSED, M.BINARY,
         M.rtf_compressed(seed("de-rtf-text-fields.rtf", rtf_from_text(de_fields))))]), "Aushang")
    # Damaged: the mini stream's first sector lies past the end of the file
    # (the directory still tells the message); a file cut after its header.
    broken = bytearray(M.message([(M.SUBJECT, M.UNICODE, u16(SUBJECT["de"]))]))
    directory = (int.from_bytes(broken[0x30:0x34], "little") + 1) * 512
    broken[directory + 116:directory + 120] = (0x7FFF).to_bytes(4, "little")
    write("damaged.msg", bytes(broken), "-")
    write("truncated.msg", de_msg[:1024], "-", 340)

    # Apple Mail message files (.emlx): a German quoted-printable message
    # behind a padded count line, plain and gzipped; a French multipart of
    # an HTML part and an image, both base64, as a .partial.emlx (the
    # image's bytes kept apart, only its headers left); the German one cut
    # in its body (no property list). Look-alikes that stay text: a list of
    # figures whose first line is a number, and a count line before lines
    # that are no header block.
    de_emlx = emlx(simple(40, "de", "utf-8", "qp"), padded=True)
    write("de-qp.emlx", de_emlx, "Donnerstag")
    write("de-qp.emlx.gz", gzip.compress(de_emlx, 9, mtime=0), "Donnerstag", 347)
    apple = MIMEMultipart("mixed", boundary="Apple-Mail=_41-fr")
    routing(apple, 41)
    common(apple, 41, "fr")
    apple["Subject"] = Header(SUBJECT["fr"], "utf-8").encode()
    apple.attach(MIMEText(html(TEXT["fr"]), "html", "utf-8"))  # base64
    image = MIMEApplication(b"", "octet-stream")
    image.replace_header("Content-Type", 'image/png; name="moulin.png"')
    image.add_header("Content-Disposition", "attachment", filename="moulin.png")
    image["X-Apple-Content-Length"] = "48213"
    apple.attach(image)
    write("fr-html-b64.partial.emlx", emlx(apple), "moulin")
    write("de-cut.emlx", de_emlx[:len(de_emlx) - len(EMLX_PLIST) - 120], "Donnerstag")
    figures = ("1984\n2310\n2875\n3120\n\nDie Zahlen zeigen die Besucher des Museums in den "
               "vier Quartalen des letzten Jahres. Im Sommer kamen die meisten G\u00e4ste.\n")
    write("figures.txt", figures.encode(), "-", 2)
    fields = ("245\nDate: 2024-01-01\nFrom: Messstation Nord\nTemperatur am Morgen 3 Grad\n\n"
              "Am Nachmittag stieg die Temperatur auf acht Grad, und der Wind lie\u00df nach.\n")
    write("count-fields.txt", fields.encode(), "-", 2)
    tnef_fixtures()


# Sentences of the TNEF samples, and their subjects.
TNEF_TEXT = {
    "it": "Cari colleghi, la riunione di venerdì è stata spostata nella sala grande al "
          "secondo piano. Vi prego di portare il rapporto mensile e di confermare la vostra "
          "presenza entro giovedì sera. Dopo la riunione pranzeremo insieme nella trattoria "
          "vicino alla stazione.",
    "fr": "Bonjour à tous, la chorale du quartier reprend ses répétitions mardi soir dans "
          "la salle paroissiale. Nous travaillerons les chants de Noël et chacun est prié "
          "d'apporter sa partition. Les nouveaux chanteurs sont les bienvenus, même sans "
          "avoir jamais appris le solfège.",
    "pl": "Drodzy rodzice, w przyszły czwartek nasza klasa jedzie na wycieczkę do muzeum "
          "przyrodniczego. Dzieci powinny zabrać ze sobą drugie śniadanie, wygodne buty i "
          "parasol. Autobus odjeżdża sprzed szkoły punktualnie o ósmej rano.",
    "es": "Queridos socios, el próximo domingo celebraremos la comida anual del club de "
          "montaña en el refugio del valle. Quien quiera subir andando saldrá a las siete "
          "desde la plaza del pueblo; los demás pueden llegar en coche por la pista forestal.",
    "de": "Hallo zusammen, die Heizung im zweiten Stock wird am Montag repariert, deshalb "
          "bleiben die Büros dort bis Mittag geschlossen. Bitte arbeitet an diesem Vormittag "
          "von zu Hause oder im Besprechungsraum im Erdgeschoss.",
}
TNEF_SUBJECT = {
    "it": "Riunione spostata a venerdì",
    "fr": "Reprise des répétitions de la chorale",
    "pl": "Wycieczka do muzeum w czwartek",
    "es": "Comida anual del club de montaña",
    "de": "Heizung im zweiten Stock",
}
# An attachment's text, which the reader must never see.
TNEF_ATTACHED = (b"Minutes of the last meeting: the committee agreed on the budget and the "
                 b"schedule for the next quarter.\r\n")


def tnef_message(lang, props=(), body_attribute=True, code_page=1252, attachments=True,
                 bad=False):
    """A TNEF stream as Outlook writes it: its version, code page, class and
    subject, the body attribute (windows-1252) unless not `body_attribute`,
    the property block `props` when given, then an attached English note."""
    M = tnef.MESSAGE
    attrs = [tnef.attribute(M, tnef.ATT_TNEF_VERSION, b"\x00\x00\x01\x00", bad),
             tnef.attribute(M, tnef.ATT_OEM_CODEPAGE, tnef.code_page(code_page), bad),
             tnef.attribute(M, tnef.ATT_MESSAGE_CLASS, b"IPM.Microsoft Mail.Note\0", bad),
             tnef.attribute(M, tnef.ATT_SUBJECT,
                            TNEF_SUBJECT[lang].encode("cp1252", "replace") + b"\0", bad)]
    if body_attribute:
        attrs.append(tnef.attribute(M, tnef.ATT_BODY, TNEF_TEXT[lang].encode("cp1252") + b"\0",
                                    bad))
    if props:
        attrs.append(tnef.attribute(M, tnef.ATT_MSG_PROPS, tnef.properties(props), bad))
    if attachments:
        attrs += tnef.attachment(b"minutes.txt", TNEF_ATTACHED)
    return tnef.stream(attrs)


def tnef_fixtures():
    """TNEF streams (winmail.dat): the body attribute alone (Italian, with an
    attached English note); a plain body property in windows-1252 among named,
    multi-valued and object properties (French); one in UTF-16 with a UTF-16
    subject (Polish); a compressed RTF body (Spanish); an HTML body as bytes
    (German); a message whose only body is a TNEF part of RTF that keeps
    HTML (Italian); the French one with wrong checksums, the Italian one cut
    in its body."""
    it = tnef_message("it")
    write("it-tnef-attbody.dat", it, "trattoria")
    french = [
        (tnef.LONG, outlook_msg.MESSAGE_CODEPAGE, 1252),
        (tnef.BOOLEAN, 0x8501, 1, 0x8503),
        (tnef.STRING8, 0x8502, b"Reading", "x-note-kind"),
        (tnef.STRING8 | tnef.MULTI, 0x8503, [b"chorus", b"music"], "Keywords"),
        (tnef.SYSTIME, 0x0039, 0x01DA3C9A5E1C8000),
        (tnef.OBJECT, 0x3701, b"not a message at all"),
        (tnef.BINARY, 0x0071, bytes(22)),
        (tnef.STRING8, outlook_msg.BODY, TNEF_TEXT["fr"].encode("cp1252")),
    ]
    fr = tnef_message("fr", french, body_attribute=False)
    write("fr-tnef-body-1252.dat", fr, "solfège")
    polish = [(tnef.UNICODE, outlook_msg.SUBJECT, TNEF_SUBJECT["pl"]),
              (tnef.UNICODE, outlook_msg.BODY, TNEF_TEXT["pl"]),
              (tnef.LONG, outlook_msg.INTERNET_CPID, 65001)]
    write("pl-tnef-body-utf16.dat", tnef_message("pl", polish, body_attribute=False), "śniadanie")
    rtf = seed("es-tnef.rtf", rtf_from_text(TNEF_TEXT["es"] + "\n"))
    spanish = [(tnef.BINARY, outlook_msg.RTF_COMPRESSED, outlook_msg.rtf_compressed(rtf))]
    write("es-tnef-rtf.dat", tnef_message("es", spanish, body_attribute=False), "refugio")
    page = ('<html><head><meta charset="windows-1252"></head><body><p>' + TNEF_TEXT["de"]
            + "</p></body></html>").encode("cp1252")
    german = [(tnef.BINARY, outlook_msg.HTML, page)]
    write("de-tnef-html.dat", tnef_message("de", german, body_attribute=False), "Erdgeschoss")

    # Outlook's rich text mail: the message carries its body only in the
    # TNEF part, an attachment named winmail.dat.
    rtf = seed("it-tnef-html.rtf", rtf_from_html(html_page(html_lib.escape(TNEF_TEXT["it"]))))
    inner = tnef_message("it", [(tnef.BINARY, outlook_msg.RTF_COMPRESSED,
                                 outlook_msg.rtf_compressed(rtf))], body_attribute=False)
    mime = MIMEMultipart("mixed", boundary="----_=_NextPart_001_01DA3C9A.5E1C8000")
    routing(mime, 50)
    common(mime, 50, "it")
    mime["Subject"] = Header(TNEF_SUBJECT["it"], "utf-8").encode()
    part = MIMEApplication(inner, "ms-tnef")
    part.add_header("Content-Disposition", "attachment", filename="winmail.dat")
    mime.attach(part)
    write("it-tnef-mime.eml", mime, "trattoria")

    write("fr-tnef-badsum.dat", tnef_message("fr", french, body_attribute=False, bad=True),
          "solfège")
    write("it-tnef-cut.dat", it[:it.index(b"stazione")], "trattoria")


if __name__ == "__main__":
    sys.exit(main())
