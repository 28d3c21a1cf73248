#!/bin/bash
# Rebuilds the language data that the end-to-end cases share (data/), with the
# tool's own training mode, from the sample texts in samples/ (UTF-8 sources,
# converted to each profile's charset with iconv).
#
#   tests/e2e/profiles/make_profiles.sh BUILD/e2e/prefix/bin/glotta
#
# Retraining changes the scores that the cases expect: rerun the cases that use
# this data and review their output before committing new profiles.
set -euo pipefail
launcher=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Training starts the engine, which wants a language list; a list whose only
# profile does not exist gives a warning and an engine without profiles.
mkdir "$work/data"
echo none.lm >"$work/data/langlist.cfg"

# identifier, display name, profile charset, iconv charset, sample
profiles=(
    "en English 1252 WINDOWS-1252 en.txt"
    "fr French 1252 WINDOWS-1252 fr.txt"
    "de German 1252 WINDOWS-1252 de.txt"
    "fr French utf8 UTF-8 fr.txt"
    "ru Russian 1251 WINDOWS-1251 ru.txt"
    "bg Bulgarian 1251 WINDOWS-1251 bg.txt"
    "ru Russian koi8-r KOI8-R ru.txt"
    "el Greek 1253 WINDOWS-1253 el.txt"
    "ar Arabic utf8 UTF-8 ar.txt"
    "ja Japanese sjis SHIFT_JIS ja.txt"
)
for row in "${profiles[@]}"; do
    read -r id name charset iconv_name sample <<<"$row"
    iconv -f UTF-8 -t "$iconv_name" "$here/samples/$sample" >"$work/sample.txt"
    (cd "$work" && "$launcher" -train -data_path data -language_id "$id" \
        -language_name "$name" -charset "$charset" sample.txt >/dev/null 2>&1) || true
    test -s "$work/data/$id-$charset.lm"
done

mkdir -p "$here/data"
for row in "${profiles[@]}"; do
    read -r id name charset _ <<<"$row"
    cp "$work/data/$id-$charset.lm" "$here/data/"
done
{
    echo "# Profiles of the end-to-end cases (made by make_profiles.sh)"
    for row in "${profiles[@]}"; do
        read -r id _ charset _ <<<"$row"
        echo "$id-$charset.lm"
    done
} >"$here/data/langlist.cfg"
{
    echo "# identifier and display name"
    printf '%s\n' "en English" "fr French" "de German" "ru Russian" "bg Bulgarian" \
        "el Greek" "ar Arabic" "ja Japanese" "zh Chinese" "zt Traditional-Chinese" \
        "ko Korean" "th Thai" "he Hebrew"
} >"$here/data/langname.cfg"
