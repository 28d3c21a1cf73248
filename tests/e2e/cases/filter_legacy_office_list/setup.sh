# Excel 97-2003 documents in six languages (as gnumeric writes them) and
# PowerPoint 97-2003 ones in two (as the fixture writer makes them), and a
# truncated one of each, listed in a fixed order, with the shared filter
# profiles.
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
for l in en de es fr ru zh; do
    for f in xls ppt; do
        [ -f "$data/docs/$l.$f" ] || continue
        cp "$data/docs/$l.$f" docs/
        echo "docs/$l.$f" >>docs.lst
    done
done
head -c 3000 "$data/docs/ru.xls" >docs/truncated.xls
head -c 2000 "$data/docs/zh.ppt" >docs/truncated.ppt
printf 'docs/truncated.xls\ndocs/truncated.ppt\n' >>docs.lst
