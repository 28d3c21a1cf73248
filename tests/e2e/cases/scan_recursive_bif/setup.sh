# Links are not followed while walking; an empty file fails.
mkdir out
ln -s ../a tree/b/link_to_a
: > tree/b/empty.txt
