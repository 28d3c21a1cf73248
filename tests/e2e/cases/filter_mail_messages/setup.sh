# E-mail messages (quoted-printable, base64 and 8-bit bodies in several
# charsets, multipart/alternative, HTML only, an attachment, a reply quoting
# another language, the same reply above an Outlook header block, an mbox, a
# gzipped message), two look-alikes that stay plain text (a Debian copyright
# file, a patch description), messages with a byte-order mark, text/enriched
# and flowed parts, and a header block longer than 8 KiB (plain and gzipped),
# and Outlook message files (UTF-16, code page 1251 and windows-1252 strings,
# HTML only, RTF only, gzipped, with a recipient and English attachments (a
# file, a message)), HTML-only replies above the English message they quote
# (Thunderbird, Gmail and Outlook on the web marks, a header block written as
# lines of text, one written in a <pre>, Outlook for Mac's rule written colour
# first over labels the header rule does not know, an Outlook message file; a
# German note in a <pre> above an English notice listing its own fields stays
# English; a German reply in a <pre> above the English message quoted with
# "&gt; " marks; a French reply in a div styled "white-space: pre-wrap" above a
# header block as lines; a Spanish message whose empty <pre/> leaves a
# paragraph of sign-up fields whole; Proton Mail's and Tuta's quotes, Outlook's
# rule written back in rgb() by a web mail program), a forward with nothing above the
# quote, Outlook message files whose only body is RTF (a German reply in HTML
# kept as RTF and a French one in plain text kept as RTF, above the English
# message they answer: the quote goes; a German note above an English
# blockquote in a message that answers none, and one above an English notice
# listing its own fields: they stay English), and damaged and truncated
# message files (both fail with -19985, so the run ends with status 239), in a
# fixed order, with the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/mail
mkdir docs
for f in de-qp.eml de-qp.eml.gz fr-b64.eml es-latin1-qp.eml ru-koi8r-8bit.eml en-8bit.eml \
    fr-alternative.eml de-html-only.eml es-attachment.eml de-reply-en-quote.eml de-reply-outlook.eml \
    de-fr-es.mbox copyright.txt fix.patch fr-bom.eml es-enriched-flowed.eml de-long-header.eml \
    de-long-header.eml.gz de-unicode.msg de-unicode.msg.gz ru-cp1251.msg es-cp1252.msg fr-html.msg \
    es-rtf.msg de-attachments.msg de-html-reply-thunderbird.eml es-html-reply-gmail.eml \
    de-html-reply-outlook-web.eml de-html-reply-header-lines.eml de-html-reply-pre.eml \
    es-html-reply-mac-border.eml de-html-pre-fields.eml de-html-reply-pre-quoted.eml \
    fr-html-reply-pre-wrap.eml es-html-pre-empty.eml fr-html-reply-proton.eml \
    de-html-forward-tuta.eml es-html-reply-rgb-border.eml fr-html-forward.eml \
    fr-html-reply.msg de-rtf-html-reply.msg fr-rtf-text-reply.msg de-rtf-html-citation.msg \
    de-rtf-text-fields.msg damaged.msg truncated.msg; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
