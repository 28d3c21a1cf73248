#!/bin/bash
# Installs the Debian packages that building and testing glotta need, when
# they are missing. Safe to run again: installed packages are left alone.
#   scripts/deps.sh         the build and its tests
#   scripts/deps.sh fuzz    clang and libFuzzer for the fuzz targets (tests/fuzz)
#   scripts/deps.sh fixtures  the tools of scripts/make_filter_fixtures.sh, and
#                             the npm packages of scripts/make_xlsb_fixtures.js in
#                             scripts/work/node (SheetJS, at the version pinned here)
set -euo pipefail

# npm packages of the fixture scripts, pinned; installed with npm's own client.
NPM_FIXTURES=(xlsx@0.18.5)

if [[ ${1:-} == fuzz ]]; then
    packages=(clang-14 libclang-rt-14-dev)
elif [[ ${1:-} == fixtures ]]; then
    packages=(pandoc gnumeric pango1.0-tools qpdf libqpdf-dev g++ fonts-noto-core fonts-dejavu-core
        fonts-wqy-microhei imagemagick zip unzip bzip2 xz-utils zstd lz4 lzip ncompress gcc python3
        catdoc antiword libgsf-bin libwpd-tools libwps-tools libvisio-tools libmspub-tools libmwaw-tools libstaroffice-tools libqxp-tools libzmf-tools djvulibre-bin fp-utils-3.2.2
        ghostscript nodejs tnef)
else
    packages=(
        build-essential
        cmake
        libgtest-dev
        libgmock-dev
        libbenchmark-dev
        libicu-dev
        pkg-config
        libmagic-dev
        libzip-dev
        libxml2-dev
        libpoppler-glib-dev
        libgsf-1-dev
        zlib1g-dev
        libbz2-dev
        liblzma-dev
        libzstd-dev
        liblz4-dev
        libwpd-dev
        librevenge-dev
        libetonyek-dev
        libwps-dev
        libvisio-dev
        libmspub-dev
        libmwaw-dev
        libstaroffice-dev
        libqxp-dev
        libzmf-dev
        libdjvulibre-dev
        libgs-dev
        groff-base
        python3
        python3-distributed
        parallel
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "deps.sh: installing ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        echo "deps.sh: missing packages and not running as root: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [[ ${1:-} == fixtures ]]; then
    node_dir="$(cd "$(dirname "$0")" && pwd)/work/node"
    for package in "${NPM_FIXTURES[@]}"; do
        name=${package%@*} version=${package##*@}
        have=$(node -p "require('$node_dir/node_modules/$name/package.json').version" 2>/dev/null || true)
        if [[ $have != "$version" ]]; then
            if ! command -v npm >/dev/null; then
                # Debian's nodejs leaves npm to a package of its own (a nodejs from
                # elsewhere brings its own npm, so this runs only on Debian's).
                if [[ $(id -u) -ne 0 ]]; then
                    echo "deps.sh: npm is missing and not running as root (apt-get install npm)" >&2
                    exit 1
                fi
                echo "deps.sh: installing npm"
                export DEBIAN_FRONTEND=noninteractive
                apt-get update -q
                apt-get install -y -q --no-install-recommends npm
            fi
            echo "deps.sh: installing npm $package in $node_dir"
            mkdir -p "$node_dir"
            npm install --prefix "$node_dir" --no-save --no-audit --no-fund --ignore-scripts "$package"
        fi
    done
fi
