#!/usr/bin/env bash
# Train one profile per sample list with the tool's training mode:
#
#   GLOTTA=/path/to/glotta scripts/data/train.sh LISTDIR OUTDIR [PROFILE...]
#
# Every LISTDIR/<lang>-<cs>.lst (written by scripts/data/prepare.py; with PROFILE arguments
# such as "uk-866" only those) becomes OUTDIR/<lang>-<cs>.lm, trained by `$GLOTTA -train` with
# the display name of scripts/data/langs.py. A training that fails or writes a profile of the
# wrong shape stops the run with a message naming the profile.
set -euo pipefail
export LC_ALL=C PYTHONHASHSEED=0

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
LISTDIR=${1:?usage: train.sh LISTDIR OUTDIR [PROFILE...]}
OUTDIR=${2:?usage: train.sh LISTDIR OUTDIR [PROFILE...]}
shift 2
GLOTTA=${GLOTTA:-$ROOT/build/prefix/bin/glotta}
[[ -x $GLOTTA ]] || { echo "train: $GLOTTA is not an executable (set GLOTTA)" >&2; exit 1; }

# Training starts the engine, which needs a language list naming at least one loadable profile
# and a data directory holding langname.cfg (the tool appends the new name to it).
mkdir -p "$OUTDIR"
SEED=$(mktemp -d)
trap 'rm -rf "$SEED"' EXIT
printf 'ID:seed\nCHARSET:utf8\n_seed_ 6\n' >"$SEED/seed.lm"
printf 'seed.lm\n' >"$SEED/seed-langlist.cfg"

# Display names of every language, read from langs.py once.
declare -A NAMES
while IFS=$'\t' read -r id name; do NAMES[$id]=$name; done < <(
  cd "$ROOT/scripts/data" &&
    python3 -c 'from langs import LANGS
for lang, row in LANGS.items(): print(lang + "\t" + row["name"])')
((${#NAMES[@]} > 0)) || { echo "train: no languages read from scripts/data/langs.py" >&2; exit 1; }

if [[ $# -gt 0 ]]; then
  lists=()
  for p in "$@"; do lists+=("$LISTDIR/$p.lst"); done
else
  shopt -s nullglob
  lists=("$LISTDIR"/*.lst)
fi
for list in "${lists[@]}"; do
  base=$(basename "$list" .lst)
  id=${base%%-*} cs=${base#*-}
  [[ -s $list ]] || { echo "train: no training text for $base ($list)" >&2; exit 1; }
  name=${NAMES[$id]:-}
  [[ -n $name ]] || { echo "train: $id is not a language of scripts/data/langs.py" >&2; exit 1; }
  printf '# written by scripts/data/train.sh while training\n' >"$SEED/langname.cfg"
  rm -f "$SEED/$id-$cs.lm"
  "$GLOTTA" -train -language_id "$id" -language_name "$name" -charset "$cs" \
    -config "$SEED/seed-langlist.cfg" -data_path "$SEED" "@$list" >"$SEED/train.log" 2>&1 ||
    { echo "train: training $base failed:" >&2; cat "$SEED/train.log" >&2; exit 1; }
  lines=$(wc -l <"$SEED/$id-$cs.lm")
  [[ $lines == 402 ]] || { echo "train: $base.lm has $lines lines, expected 402" >&2; exit 1; }
  mv "$SEED/$id-$cs.lm" "$OUTDIR/$base.lm"
done
