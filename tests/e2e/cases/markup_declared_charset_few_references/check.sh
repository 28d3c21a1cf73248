# Few references: the raw bytes are scored, nothing is converted to UTF-8.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
! grep -q '^Converting the document from [a-z0-9-]* to utf8$' "${log[0]}"
