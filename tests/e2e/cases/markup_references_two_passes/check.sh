# The first pass scores the raw bytes, the second the text converted to UTF-8
# from the charset of the first pass's best profile.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -qx 'Converting the document from 1252 to utf8' "${log[0]}"
