# bash completion for glotta-scan
_glotta_scan() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
    -f | --format)
        COMPREPLY=($(compgen -W 'tsv jsonl' -- "$cur"))
        return
        ;;
    --codes)
        COMPREPLY=($(compgen -W 'glotta bcp47' -- "$cur"))
        return
        ;;
    -n | --candidates | -j | --jobs | --size)
        COMPREPLY=()
        return
        ;;
    --data-path)
        COMPREPLY=($(compgen -d -- "$cur"))
        return
        ;;
    --config | --bif)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-r --recursive -L --follow -0 --null --stdin-doc --size
            -f --format -n --candidates --distinct --codes --bif --progress -j --jobs
            --data-path --config --list-charsets -h --help -V --version' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _glotta_scan glotta-scan
