# Documents of old word processors without a prefix or compound file (as
# scripts/fixtures/wordperfect.py and scripts/make_works_fixtures.py write
# them): WordPerfect 4.2 in German and French and the German one cut inside
# its second paragraph; two texts that look like WordPerfect 4.2 and stay
# text (Latin-1 French, code page 437 German with box-drawing lines); a
# Works for DOS document in French, the German Works 3 for Windows one, the
# French one cut after its text (its text without its formatting), cut
# inside it and with its text ending past the file (neither taken for
# Works: refused), listed in a fixed order.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for f in docs/de-42.wp docs/fr-42.wp bad/cut-42.wp text/fr-latin1-pairs.txt text/de-cp437-box.txt \
    works/dos-fr.wps works/win3-de.wps works/bad/dos-bare.wps works/bad/dos-cut.wps \
    works/other/limits.wps; do
    cp "$data/$f" docs/
    echo "docs/${f##*/}" >>docs.lst
done
