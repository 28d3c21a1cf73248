# LaTeX and Texinfo sources (a German letter whose preamble is all package
# names, plain and gzipped; a Latin-1 French article with TeX accents; a
# Latin-1 Spanish Texinfo manual), then plain text with backslashes that
# stays text (Windows paths and a regular expression in an English note), in
# a fixed order, with the shared filter profiles.
data=$CASE_DIR/../../../data/dxfilter/tex
mkdir docs
for f in de-brief.tex de-brief.tex.gz fr-latin1.tex es-latin1.texi; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
printf '%s\n' '\Users\anna\Documents holds the letters; \\server\share\section holds the' \
    'backups. The pattern \section{(.*)} finds every heading, and \d+ every number.' \
    >docs/paths.txt
echo docs/paths.txt >>docs.lst
