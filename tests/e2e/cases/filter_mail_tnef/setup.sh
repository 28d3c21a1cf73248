# TNEF streams (winmail.dat, as scripts/make_mail_fixtures.py writes them):
# the body attribute alone (Italian, an English file attached), a plain body
# property in windows-1252 among named, multi-valued and object properties
# (French), one in UTF-16 (Polish), a compressed RTF body (Spanish), an HTML
# body (German), a message whose only body is its TNEF part (Italian RTF
# keeping HTML), the French stream with wrong checksums, the Italian one cut
# in its body and gzipped; in a fixed order, with the filter profiles.
data=$CASE_DIR/../../../data/dxfilter/mail
mkdir docs
for f in it-tnef-attbody.dat fr-tnef-body-1252.dat pl-tnef-body-utf16.dat es-tnef-rtf.dat \
    de-tnef-html.dat it-tnef-mime.eml fr-tnef-badsum.dat it-tnef-cut.dat; do
    cp "$data/$f" docs/
    echo "docs/$f" >>docs.lst
done
gzip -9n <docs/it-tnef-attbody.dat >docs/winmail.dat.gz
echo docs/winmail.dat.gz >>docs.lst
