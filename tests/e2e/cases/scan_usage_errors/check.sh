# Other usage errors, --help and --version.
set -e
scan=$PREFIX/bin/glotta-scan
for args in "--format xml" "--bogus" "-j" "--stdin-doc a.txt" "- -"; do
    status=0
    $scan $args </dev/null >out 2>err || status=$?
    test "$status" = 2 && test ! -s out && grep -q "^glotta-scan: " err
done
$scan --version | grep -qx 'glotta-scan [0-9.]*'
$scan --help | grep -q '^Usage: glotta-scan '
# The manual pages render without a warning; the completion offers options.
for page in glotta glotta-scan; do
    if command -v groff >/dev/null; then
        groff -man -Tutf8 -ww -z "$PREFIX/share/man/man1/$page.1" 2>err
        test ! -s err || { cat err; exit 1; }
    fi
done
completion=$(bash -c 'source "$1"; COMP_WORDS=(glotta-scan --form); COMP_CWORD=1
    _glotta_scan; echo "${COMPREPLY[*]}"' _ "$PREFIX/share/bash-completion/completions/glotta-scan")
test "$completion" = --format
