# The declaration settles the answer: no n-gram profile of the document is made.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -qx 'Extracted language id is fr' "${log[0]}"
! grep -q 'Creating document profile' "${log[0]}"
