# Microsoft Publisher documents (as scripts/make_publisher_fixtures.py
# writes them): an English newsletter of two pages in the layout of
# Publisher 2002 with a box on its master page (read once), a German one in
# that of Publisher 2000 whose masthead stands on both pages (read once), the
# English one in that layout (its master page not read); one whose Quill
# stream is cut inside its text and one whose tables declare 2^31 units and
# 65535 chunks (libmspub gives up: reading fails, -19983), the Publisher
# 2002 signature without the Escher stream (refused, -19985), half a file
# (an OLE file whose directory cannot be read) and a Contents stream of
# another program (340, -19985, as before), listed in a fixed order (the
# exit status is the last document's).
data=$CASE_DIR/../../../data/dxfilter/publisher
mkdir docs
for f in en.pub de.pub en-2000.pub bad/cut.pub bad/huge.pub bad/escher.pub bad/half.pub \
    other/contents.cfb; do
    cp "$data/$f" docs/
    echo "docs/${f#*/}" >>docs.lst
done
