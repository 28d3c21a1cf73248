# 10 MiB of HTML: about 5 MiB of empty elements, then French paragraphs (UTF-8).
set -e
paragraph=$(<fr_paragraph.txt)
row='<div class="row"><span id="c"></span><img src="a.png" alt=""></div>'
block=$(for i in {1..64}; do printf '%s\n' "$row"; done)
{
    printf '<html>\n<head><title>Big</title></head>\n<body>\n'
    for i in {1..1200}; do printf '%s\n' "$block"; done
} >big.html
while (( $(stat -c %s big.html) < 10485760 - 4096 )); do
    for i in {1..32}; do printf '<p>%s</p>\n' "$paragraph"; done >>big.html
done
printf '</body>\n</html>\n' >>big.html
