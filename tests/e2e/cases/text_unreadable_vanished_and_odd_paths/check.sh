# Root reads any file, so the unreadable document only fails for other users.
set -e
if [[ $(id -u) == 0 ]]; then
    cmp "$CASE_DIR/stdout_as_root" "$WORK_DIR/stdout"
    cmp "$CASE_DIR/stderr_as_root" "$WORK_DIR/stderr"
else
    cmp "$CASE_DIR/stdout_as_user" "$WORK_DIR/stdout"
    cmp "$CASE_DIR/stderr_as_user" "$WORK_DIR/stderr"
fi
