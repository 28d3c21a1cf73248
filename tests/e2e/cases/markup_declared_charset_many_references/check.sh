# Many references: the text is converted from the declared charset to UTF-8
# before the references become letters.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -qx 'Converting the document from 1251 to utf8' "${log[0]}"
grep -qx 'Converting the document from sjis to utf8' "${log[0]}"
