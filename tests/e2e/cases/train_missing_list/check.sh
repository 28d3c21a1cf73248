# Nothing is trained when the list cannot be read.
test ! -e data/xq-1252.lm
