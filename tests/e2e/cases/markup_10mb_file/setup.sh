# 10 MiB of HTML: 5 MiB of empty elements, then French paragraphs (UTF-8).
set -e
repeat_to() {  # repeat_to FILE BYTES: repeat FILE's content to about BYTES, whole copies only
    local unit count
    unit=$(stat -c %s "$1")
    count=$(($2 / unit))
    while (( $(stat -c %s "$1") < count * unit )); do
        cat "$1" "$1" >doubled && mv doubled "$1"
    done
    head -c $((count * unit)) "$1" >cut && mv cut "$1"
}
printf '<div class="row"><span id="c"></span><img src="a.png" alt=""></div>\n' >empty_elements
repeat_to empty_elements 5242880
{ printf '<p>'; cat fr_paragraph.txt; printf '</p>\n'; } >paragraphs
repeat_to paragraphs 5242880
{
    printf '<html>\n<head><title>Big</title></head>\n<body>\n'
    cat empty_elements paragraphs
    printf '</body>\n</html>\n'
} >big.html
rm empty_elements paragraphs
