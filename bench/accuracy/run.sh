#!/usr/bin/env bash
# Cross-genre accuracy benchmark of the language data against CLD2, libexttextcat and uchardet.
#   bench/accuracy/run.sh [run.py options]
# Needs the extracted text of scripts/build_data.sh (scripts/work/text) and an installed tool
# (GLOTTA or --glotta, default build/prefix/bin/glotta). The report is
# bench/work/accuracy/ACCURACY.md; on two cores 20 to 40 minutes the first time (every
# fold's profiles are trained), 3 to 5 minutes once they are cached.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
command -v python3 >/dev/null || "$ROOT/scripts/data/need.sh" python3
"$ROOT/scripts/data/need.sh" g++ libcld2-dev libexttextcat-dev libuchardet-dev
GLOTTA=${GLOTTA:-$ROOT/build/prefix/bin/glotta}
[[ -d $ROOT/scripts/work/text ]] || GLOTTA=$GLOTTA "$ROOT/scripts/build_data.sh"
exec nice -n 10 python3 "$ROOT/bench/accuracy/run.py" --glotta "$GLOTTA" "$@"
