# A name that is not UTF-8 (Latin-1 e acute).
cp fr.txt "$(printf 'caf\351.txt')"
