#!/usr/bin/env bash
# Accuracy benchmark of the shipped language data against CLD2, libexttextcat and uchardet.
#   bench/accuracy/run.sh [run.py options]
# Needs the held-out text of scripts/build_data.sh (scripts/work/text) and an installed tool
# (build/prefix). The summary is bench/work/accuracy/ACCURACY.md.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
command -v python3 >/dev/null || "$ROOT/scripts/data/need.sh" python3
"$ROOT/scripts/data/need.sh" g++ libcld2-dev libexttextcat-dev libuchardet-dev
[[ -d $ROOT/scripts/work/text ]] || "$ROOT/scripts/build_data.sh"
exec python3 "$ROOT/bench/accuracy/run.py" "$@"
