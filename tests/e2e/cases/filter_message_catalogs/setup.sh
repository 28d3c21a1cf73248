# Message catalogs (binary in both byte orders and in UTF-8, ISO-8859-1,
# KOI8-R and a charset ICU does not know; a template without translations;
# a gzipped catalog; .po catalogs in ISO-8859-1 and UTF-8 with a byte-order
# mark, and one whose first translation comes after 8 KiB of comments and
# untranslated messages, and one whose header entry comes after 8 KiB of
# credits), a damaged catalog, and look-alikes that stay plain text (.pot
# templates, two as long, C source that writes catalog lines), then the
# catalog with 8 KiB of credits in gzip and bzip2, in a fixed order, with
# the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/catalog
mkdir docs
for f in de-utf8.mo fr-latin1-be.mo ru-koi8r.mo es-unknown-charset.mo en-template.mo \
    de-utf8.mo.gz de-latin1.po fr-bom.po es-long-comments.po truncated.mo demo.pot \
    long-comments.pot write_po.c de-credits.po credits.pot de-credits.po.gz \
    de-credits.po.bz2; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
