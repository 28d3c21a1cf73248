# One debug log in the temporary directory, named lang*.log.
set -e
logs=("$WORK_DIR"/tmp/lang*.log)
test "${#logs[@]}" = 1
test -f "${logs[0]}"
grep -qx 'Reading language configuration file: data/langlist.cfg' "${logs[0]}"
grep -qx 'Loading language profile: data/en.lm' "${logs[0]}"
grep -qx 'Unloading dxutil library' "${logs[0]}"
# Created afresh for the owner only: lang, six random characters, .log.
[[ $(basename "${logs[0]}") =~ ^lang[A-Za-z0-9]{6}\.log$ ]]
test "$(stat -c %a "${logs[0]}")" = 600
