set -e
test "$(head -n 2 data/xq-1252.lm)" = $'ID:xq\nCHARSET:1252'
grep -qx "_th 3" data/xq-1252.lm
