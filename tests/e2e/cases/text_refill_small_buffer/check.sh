# 48 bytes are read; cleaning leaves " Hello world", so the rest of the file is
# read in blocks of 2048 bytes, each cleaned on its own and appended as it is:
# the first block gives " sea" (its trailing noise vanishes), the second block
# joins it without a separator.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -a -A1 -x 'After remove noisy data 48: ' "${log[0]}" | tail -n 1 >cleaned
printf ' Hello world seaweed covered the rocks and the b\n' | cmp - cleaned
