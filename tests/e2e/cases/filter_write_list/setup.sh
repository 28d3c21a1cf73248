# Microsoft Write, Word for DOS and Pocket Word documents (as
# scripts/make_write_fixtures.py writes them): Write in German (a font
# table) and Spanish (the identification of Write with OLE objects), Word 5
# for DOS in French (code page 850) and Word 4 for DOS in German, the German
# Write document gzip-compressed; one whose paragraph pages hold no run
# (read text fails) and an automatic save of Word (refused); one cut inside
# its text and one with another tool word (neither taken for Write); Pocket
# Word in Italian and one without its paragraph list, listed in a fixed
# order (the exit status is the last document's). The Italian profile and
# its name beside the filter's ones.
printf 'it-utf8.lm\n' >>data/langlist.cfg
printf 'it Italian\n' >>data/langname.cfg
data=$CASE_DIR/../../../data/dxfilter/write
mkdir docs
for f in de.wri es.wri fr-dos.doc de-dos.doc de.wri.gz bad/no-runs.wri bad/autosave.doc \
    bad/cut.wri other/tool.wri it.psw bad/no-list.psw; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
