# 10,000 list lines: English, French (1252), Russian (1251) and empty documents
# in turn, and every 1000th line a document that does not exist.
set -e
en=$(<seeds/en.txt) fr=$(<seeds/fr.txt) ru=$(<seeds/ru.txt)
mkdir docs
for ((i = 1; i <= 10000; i++)); do
    printf -v name 'docs/%05d' "$i"
    if ((i % 1000 == 0)); then
        echo "$name.missing"
        continue
    fi
    case $((i % 4)) in
    0) : >"$name.empty" && echo "$name.empty" ;;
    1) printf '%s\n' "$en" >"$name.en" && echo "$name.en" ;;
    2) printf '%s\n' "$fr" >"$name.fr" && echo "$name.fr" ;;
    3) printf '%s\n' "$ru" >"$name.ru" && echo "$name.ru" ;;
    esac
done >docs.lst
