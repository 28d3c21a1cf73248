# One pass: the kept references become UTF-8 letters in place (a reference
# writes no pending separator before itself), and the text is never converted
# from a guessed single-byte charset.
set -e
log=("$WORK_DIR"/tmp/lang*.log)
grep -a -A1 -x 'Replacing entity reference in the document' "${log[0]}" | tail -n 1 |
    grep -q "^La côte Lé té dernier mon frère et moi avons décidé de marcher le long de la côte d un phareà l autre "
! grep -q '^Converting the document from 1252' "${log[0]}"
