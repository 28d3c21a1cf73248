# Documents of old word processors without a prefix or compound file (as
# scripts/fixtures/wordperfect.py and scripts/make_works_fixtures.py write
# them): WordPerfect 4.2 in German and French and the German one cut inside
# its second paragraph, which have no prefix and are read as 8-bit text;
# three texts that libwpd's own test takes for WordPerfect 4.2 and stay text
# (Latin-1 French, code page 437 German with box-drawing lines, a German
# sentence in code page 1252); a Works for DOS document in French, the
# German Works 3 for Windows one, the French one cut after its text (its
# text without its formatting), cut inside it and with its text ending past
# the file (neither taken for Works: refused), listed in a fixed order.
# The German and French 1252 profiles beside the filter's ones, for the
# 8-bit texts.
printf 'de-1252.lm\nfr-1252.lm\n' >>data/langlist.cfg
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for f in docs/de-42.wp docs/fr-42.wp bad/cut-42.wp text/fr-latin1-pairs.txt text/de-cp437-box.txt \
    text/de-1252-groups.txt works/dos-fr.wps works/win3-de.wps works/bad/dos-bare.wps \
    works/bad/dos-cut.wps works/other/limits.wps; do
    cp "$data/$f" docs/
    echo "docs/${f##*/}" >>docs.lst
done
