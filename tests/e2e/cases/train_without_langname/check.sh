set -e
test -f data/xq-1252.lm
test ! -e data/langname.cfg
