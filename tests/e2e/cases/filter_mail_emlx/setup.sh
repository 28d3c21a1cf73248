# Apple Mail message files: a German quoted-printable message behind a
# padded count line, plain and gzipped; a French .partial.emlx (an HTML part
# and an image, base64, the image's bytes kept apart); the German one cut in
# its body; and two look-alikes that stay plain text (a list of figures whose
# first line is a number, a count line before lines that are no header
# block), in a fixed order, with the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/mail
mkdir docs
for f in de-qp.emlx de-qp.emlx.gz fr-html-b64.partial.emlx de-cut.emlx figures.txt \
    count-fields.txt; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
