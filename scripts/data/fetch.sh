#!/usr/bin/env bash
# Fetch the text sources of the shipped language data at the versions pinned in
# scripts/sources.lock, into scripts/work/src/, and verify every file's sha256.
#
#   scripts/data/fetch.sh                 fetch and verify (the normal case)
#   scripts/data/fetch.sh --update-lock   resolve scripts/data/sources.txt to the versions the
#                                         archive serves today and rewrite scripts/sources.lock
#
# Only the Debian archive (apt) and the npm registry (npm) are used. apt runs with a private
# state directory under scripts/work/apt, so the machine's own package lists stay untouched.
#
# When a Debian point release has replaced a pinned package version, the fetch stops with a
# message naming the package. Set GLOTTA_DATA_ALLOW_NEWER=1 to take the archive's current
# version instead (the hash check is then skipped for that file and a warning is printed);
# run --update-lock afterwards to pin the new versions.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
LOCK=$ROOT/scripts/sources.lock
NAMES=$ROOT/scripts/data/sources.txt
WORK=$ROOT/scripts/work
SRC=$WORK/src
APTDIR=$WORK/apt
SUITE=bookworm
MIRROR=http://deb.debian.org/debian

mkdir -p "$SRC/npm" "$SRC/deb" "$SRC/ddtp" "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial"
chmod 755 "$WORK" "$SRC" "$SRC/deb" "$SRC/ddtp" "$APTDIR" 2>/dev/null || true
echo "deb $MIRROR $SUITE main main/debian-installer" >"$APTDIR/sources.list"

apt_opts=(-o "Dir::Etc::SourceList=$APTDIR/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$APTDIR/lists" -o "Dir::Cache=$APTDIR/cache" -o "APT::Architectures=amd64"
  -o "Acquire::Languages=none" -o "APT::Sandbox::User=root")

die() {
  echo "fetch: $*" >&2
  exit 1
}

sha() { sha256sum "$1" | cut -d' ' -f1; }

apt_update() {
  if [[ ! -s $APTDIR/lists/.updated ]]; then
    apt-get "${apt_opts[@]}" -qq update >&2 || die "apt-get update failed"
    date -u +%F >"$APTDIR/lists/.updated"
  fi
}

inrelease() { ls "$APTDIR"/lists/*_dists_${SUITE}_InRelease; }

# sha256 of a Translation file as the signed InRelease lists it.
ddtp_hash() {
  awk -v f="main/i18n/$1.bz2" -v g="main/i18n/$1.xz" '
    /^SHA256:/ { s = 1; next } /^[A-Za-z]/ { s = 0 }
    s && $3 == f { print $1, "bz2"; exit } s && $3 == g { x = $1 } END { if (x != "") print x, "xz" }' "$(inrelease)" | head -1
}

fetch_npm() { # pkg_id sha file
  local pkg_id=$1 want=$2 file=$3
  if [[ ! -f $SRC/npm/$file || $(sha "$SRC/npm/$file") != "$want" ]]; then
    (cd "$SRC/npm" && npm pack --silent "$pkg_id" >/dev/null) || die "npm pack $pkg_id failed"
  fi
  [[ $(sha "$SRC/npm/$file") == "$want" ]] || die "$file: sha256 differs from scripts/sources.lock"
}

fetch_deb() { # name version sha file (a .deb or an installer .udeb)
  local name=$1 ver=$2 want=$3 file=$4
  if [[ -f $SRC/deb/$file && $(sha "$SRC/deb/$file") == "$want" ]]; then return; fi
  apt_update
  if ! (cd "$SRC/deb" && apt-get "${apt_opts[@]}" -qq download "$name=$ver" >&2 2>/dev/null); then
    local now
    now=$(apt-cache "${apt_opts[@]}" policy "$name" | awk '/Candidate:/ {print $2}')
    if [[ ${GLOTTA_DATA_ALLOW_NEWER:-0} == 1 && -n $now && $now != "(none)" ]]; then
      echo "fetch: WARNING: $name $ver is gone from the archive; using $now (not hash-checked)" >&2
      (cd "$SRC/deb" && apt-get "${apt_opts[@]}" -qq download "$name=$now" >&2) || die "apt-get download $name failed"
      # Keep the pinned file name so that later steps find it.
      mv "$SRC/deb/$(ls "$SRC/deb" | grep "^${name}_" | grep -v "^$file$" | head -1)" "$SRC/deb/$file" 2>/dev/null || true
      return
    fi
    die "$name version $ver is no longer in the $SUITE archive (now: ${now:-none}); a point release replaced it.
  Rerun with GLOTTA_DATA_ALLOW_NEWER=1 to use the current version, or scripts/data/fetch.sh --update-lock to re-pin."
  fi
  [[ -f $SRC/deb/$file ]] || die "$name: expected file $file was not downloaded"
  [[ $(sha "$SRC/deb/$file") == "$want" ]] || die "$file: sha256 differs from scripts/sources.lock"
}

fetch_ddtp() { # name sha file
  local name=$1 want=$2 file=$3
  if [[ -f $SRC/ddtp/$file && $(sha "$SRC/ddtp/$file") == "$want" ]]; then return; fi
  apt_update
  local url=$MIRROR/dists/$SUITE/main/i18n/$file
  if ! /usr/lib/apt/apt-helper "${apt_opts[@]}" -qq download-file "$url" "$SRC/ddtp/$file" "SHA256:$want" >&2; then
    if [[ ${GLOTTA_DATA_ALLOW_NEWER:-0} == 1 ]]; then
      local h
      read -r h _ < <(ddtp_hash "$name")
      echo "fetch: WARNING: $file changed in the archive; using the current one" >&2
      /usr/lib/apt/apt-helper "${apt_opts[@]}" -qq download-file "$url" "$SRC/ddtp/$file" "SHA256:$h" >&2 ||
        die "download of $url failed"
      return
    fi
    die "$file does not match its pinned sha256 (the archive has changed it, or the download failed).
  Rerun with GLOTTA_DATA_ALLOW_NEWER=1 to use the current file, or scripts/data/fetch.sh --update-lock to re-pin."
  fi
}

update_lock() {
  apt_update
  local tmp uris
  tmp=$(mktemp)
  uris=$(mktemp)
  # One query resolves every Debian package to the file the archive serves today.
  mapfile -t debs < <(grep -v '^#' "$NAMES" | awk '$1 == "deb" || $1 == "udeb" {print $2}')
  apt-get "${apt_opts[@]}" -qq download --print-uris "${debs[@]}" >"$uris" ||
    die "apt-get cannot resolve some packages of $NAMES"
  {
    echo "# Pinned sources of the shipped language data (written by scripts/data/fetch.sh --update-lock)."
    echo "# kind name version sha256 file"
    while read -r kind name; do
      case $kind in
      npm)
        local file
        file=$(cd "$SRC/npm" && npm pack --silent "$name")
        echo "npm ${name%@*} ${name##*@} $(sha "$SRC/npm/$file") $file"
        ;;
      deb | udeb)
        local file size hash ver
        read -r _ file size hash < <(awk -v n="$name" 'index($2, n "_") == 1 {print}' "$uris" | head -1)
        [[ -n $file ]] || die "no candidate for $name"
        ver=${file#"${name}_"}
        ver=${ver%_*}
        echo "$kind $name ${ver//%3a/:} ${hash#SHA256:} $file"
        ;;
      ddtp)
        local h ext
        read -r h ext < <(ddtp_hash "$name")
        [[ -n $h ]] || die "$name is not listed in the $SUITE InRelease"
        echo "ddtp $name $SUITE $h $name.$ext"
        ;;
      esac
    done < <(grep -v '^#' "$NAMES" | grep .)
  } >"$tmp"
  rm -f "$uris"
  mv "$tmp" "$LOCK"
  echo "fetch: wrote $LOCK" >&2
}

if [[ ${1:-} == --update-lock ]]; then
  update_lock
fi

[[ -f $LOCK ]] || die "$LOCK is missing (run with --update-lock once)"
# Download the missing Debian packages in one apt run; each is verified below.
missing=()
while read -r kind name ver want file; do
  if [[ ($kind == deb || $kind == udeb) && ! -f $SRC/deb/$file ]]; then missing+=("$name=$ver"); fi
done < <(grep -v '^#' "$LOCK" | grep .)
if [[ ${#missing[@]} -gt 0 ]]; then
  apt_update
  (cd "$SRC/deb" && apt-get "${apt_opts[@]}" -qq download "${missing[@]}" >&2) ||
    echo "fetch: some packages failed to download; checking each" >&2
fi

while read -r kind name ver want file; do
  case $kind in
  npm) fetch_npm "$name@$ver" "$want" "$file" ;;
  deb | udeb) fetch_deb "$name" "$ver" "$want" "$file" ;;
  ddtp) fetch_ddtp "$name" "$want" "$file" ;;
  *) die "unknown kind '$kind' in $LOCK" ;;
  esac
done < <(grep -v '^#' "$LOCK" | grep .)
echo "fetch: all sources present and verified in $SRC" >&2
