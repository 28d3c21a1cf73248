# Training again with a file size limit the new profile does not fit in: the
# save fails, is reported, and the profile of the first run stays as it was,
# as does langname.cfg. No temporary file is left behind.
set -e
cp data/xq-1252.lm first.lm
cp data/langname.cfg first.cfg
status=0
(ulimit -f 1 && exec "$GLOTTA" -train -language_id xq -language_name Other -charset 1252 \
    -data_path data other.txt >again.out 2>again.err) || status=$?
test "$status" = 229  # "Open file failed", -19995
test "$(cat again.err)" = "Couldn't write profile data/xq-1252.lm: File too large"
cmp first.lm data/xq-1252.lm
cmp first.cfg data/langname.cfg
test "$(ls data | tr '\n' ' ')" = "en.lm langlist.cfg langname.cfg xq-1252.lm "
