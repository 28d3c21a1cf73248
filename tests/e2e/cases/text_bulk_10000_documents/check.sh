# Every listed document gets its record or its error line, in list order, with
# a progress line after every 100 documents; the exit status is that of the
# last document (docs/10000.missing).
set -e
out=$WORK_DIR/stdout err=$WORK_DIR/stderr
test "$(head -n 1 "$out")" = 'glotta - Tolmar, Inc. Version 5.5.0 (Feb  7 2004)'
test "$(tail -n 1 "$out")" = 'glotta done'
test "$(grep -c '^DOC_NAME:' "$out")" = 9990
test "$(grep -c '^<<EOD>>$' "$out")" = 9990
test "$(grep -c '^Processed [0-9]* document\.$' "$out")" = 100
test "$(grep '^Processed' "$out" | tail -n 1)" = 'Processed 10000 document.'
# The progress line follows the record of every 100th document.
grep -A5 -x 'DOC_NAME:docs/00100.empty' "$out" | tail -n 1 | grep -qx 'Processed 100 document.'
# Errors: exactly the ten missing documents, in order.
for ((i = 1000; i <= 10000; i += 1000)); do
    printf 'Error -19996: File does not exist (for document: docs/%05d.missing)\n' "$i"
done | cmp - "$err"
# Every record answers by the kind of document its name says.
awk '
    /^DOC_NAME:/ { name = substr($0, 10); n = split(name, part, "."); kind = part[n]; next }
    /^LANGUAGE: / { lang = substr($0, 11); next }
    /^CHARSET: / { cs = substr($0, 10); next }
    /^SCORE: / { score = substr($0, 8); next }
    /^<<EOD>>$/ {
        want = kind == "en" ? "English 1252 0.45" : kind == "fr" ? "French 1252 0.47" : \
               kind == "ru" ? "Russian 1251 0.36" : "un Unknown 0.00"
        if (lang " " cs " " score != want) { print "wrong record for " name ": " lang " " cs " " score; bad = 1 }
        count[kind]++
    }
    END {
        if (count["en"] != 2500 || count["fr"] != 2500 || count["ru"] != 2500 || count["empty"] != 2490) {
            print "counts", count["en"], count["fr"], count["ru"], count["empty"]; bad = 1
        }
        exit bad
    }' "$out"
