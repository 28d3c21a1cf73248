# QuarkXPress documents and Zoner Draw drawings (libqxp's and libzmf's own
# test documents, tests/data/dxfilter/quarkxpress and zoner): a QuarkXPress
# 3.3 document of a PC whose text box is told again in German (Windows-1252)
# and one of a Mac in French (Mac Roman), the same 258 bytes of the story
# padded with spaces; a QuarkXPress 4 document as it is (one long word); a
# Zoner Draw 5 drawing of one empty page (un); the PC's document with the
# version word of QuarkXPress 5, which libqxp does not read (-19985); listed
# in a fixed order (the exit status is the last document's).
data=$CASE_DIR/../../../data/dxfilter
mkdir docs
# Writes the story `$2` (bytes, printf escapes) over the 258 bytes at `$3`
# of the document `$1`.
retell() {
    local story
    story=$(printf '%b%258s' "$2" '')
    printf '%s' "${story:0:258}" | LC_ALL=C dd of="$1" bs=1 seek="$3" conv=notrunc status=none
}
cp "$data/quarkxpress/qxp33win_text.qxd" docs/de.qxd
LC_ALL=C retell docs/de.qxd 'Die F\xe4hre \xfcber den Flu\xdf f\xe4hrt st\xfcndlich, und am Abend sitzen die Fischer vor dem Gasthaus und erz\xe4hlen von fr\xfcher, als der Winter noch lang war und die Kinder auf dem Eis spielten.' 4096
cp "$data/quarkxpress/qxp33mac_text" docs/fr-mac
LC_ALL=C retell docs/fr-mac 'Chaque \x8et\x8e, les p\x90cheurs du village r\x8eparent leurs filets sur le quai pendant que les enfants jouent pr\x8fs de l\x27\x8eglise et que leurs m\x8fres vendent le poisson au march\x8e.' 2816
cp "$data/quarkxpress/qxp4win_text.qxd" docs/word.qxd
cp "$data/zoner/draw5.zmf" docs/empty.zmf
cp "$data/quarkxpress/qxp33win_text.qxd" docs/version5.qxd
printf '\x42' | dd of=docs/version5.qxd bs=1 seek=8 conv=notrunc status=none
for f in de.qxd fr-mac word.qxd empty.zmf version5.qxd; do echo "docs/$f" >>docs.lst; done
