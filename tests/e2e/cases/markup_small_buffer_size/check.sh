# The cleaned text stops at the detection size: the space before the next word
# fills the 40th byte and ends the cleaning.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -a -A1 -x 'Removing tags in the document' "${log[0]}" | tail -n 1 >cleaned
printf 'Last summer my brother and I decided to \n' | cmp - cleaned
