# The profile: its two header lines and 400 n-gram lines, most frequent first.
set -e
test "$(head -n 2 data/xq-1252.lm)" = $'ID:xq\nCHARSET:1252'
test "$(wc -l <data/xq-1252.lm)" = 402
grep -qx 'th 2' data/xq-1252.lm
# Output file and BIF base are accepted but unused in training mode.
test ! -e out.txt
! ls b.* 2>/dev/null
