# HTML and XML pages in UTF-16, little and big endian with a byte-order mark
# (French and Russian prose, a Russian XML document with references), the
# Russian page in UTF-8 beside them (the same answer but for the charset),
# and a UTF-16 page of tags only, made from the shared samples.
samples=$CASE_DIR/../../profiles/samples
page() {  # page LANG: an HTML page holding the sample of LANG
    printf '<html>\n<head><meta charset="utf-16"><title>%s</title></head>\n<body>\n<p>' "$1"
    cat "$samples/$1.txt"
    printf '</p>\n</body>\n</html>\n'
}
bom_le=$'\xFF\xFE'
bom_be=$'\xFE\xFF'
{ printf '%s' "$bom_le"; page fr | iconv -f UTF-8 -t UTF-16LE; } >fr_le_bom.html
{ printf '%s' "$bom_be"; page ru | iconv -f UTF-8 -t UTF-16BE; } >ru_be_bom.html
page ru | sed 's/utf-16/utf-8/' >ru_utf8.html
{
    printf '%s' "$bom_le"
    { printf '<?xml version="1.0" encoding="UTF-16"?>\n<doc>\n<p>'
      sed 's/,/ \&amp; /' "$samples/ru.txt"
      printf '&#1044;&#1072;</p>\n</doc>\n'; } | iconv -f UTF-8 -t UTF-16LE
} >ru_le_bom.xml
{ printf '%s' "$bom_le"; printf '<html><body><p> </p></body></html>\n' | iconv -f UTF-8 -t UTF-16LE; } >tags_only_le_bom.html
printf '%s\n' fr_le_bom.html ru_be_bom.html ru_utf8.html ru_le_bom.xml tags_only_le_bom.html >docs.lst
