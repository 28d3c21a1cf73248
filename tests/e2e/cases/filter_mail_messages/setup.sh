# E-mail messages (quoted-printable, base64 and 8-bit bodies in several
# charsets, multipart/alternative, HTML only, an attachment, a reply quoting
# another language, an mbox, a gzipped message) and two look-alikes that stay
# plain text (a Debian copyright file, a patch description), in a fixed order,
# with the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/mail
mkdir docs
for f in de-qp.eml de-qp.eml.gz fr-b64.eml es-latin1-qp.eml ru-koi8r-8bit.eml en-8bit.eml \
    fr-alternative.eml de-html-only.eml es-attachment.eml de-reply-en-quote.eml de-fr-es.mbox \
    copyright.txt fix.patch; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
