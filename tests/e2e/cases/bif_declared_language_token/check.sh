# No file named after a declared value was written, and no record was forged.
set -e
test "$(cat victim/pwned)" = precious
test "$(ls victim)" = pwned
if grep -rq forged out; then exit 1; fi
