#!/usr/bin/env bash
# Install the Debian packages named as arguments when they are missing (as root).
#   scripts/data/need.sh PACKAGE...
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0
if [[ $(id -u) -ne 0 ]]; then
  echo "need.sh: missing packages and not running as root: ${missing[*]}" >&2
  exit 1
fi
echo "need.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >&2
apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
