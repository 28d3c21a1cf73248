#!/bin/bash
# Builds the Debian package of a build tree, unpacks it into a scratch root
# (dpkg-deb -x, nothing is installed on the system) and runs both commands
# from there through their /usr/bin links.
#   deb_test.sh BUILD_DIR WORK_DIR SAMPLES_DIR
set -euo pipefail
build=$1
work=$2
samples=$3

rm -rf "$work"
mkdir -p "$work/root"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
debs=("$work"/out/glotta_*_*.deb)
test ${#debs[@]} = 1 || { echo "expected one package: ${debs[*]}"; exit 1; }
deb=${debs[0]}
case $(basename "$deb") in
glotta_[0-9]*.[0-9]*.[0-9]*_*.deb) ;;
*) echo "unexpected package name $(basename "$deb")"; exit 1 ;;
esac

depends=$(dpkg-deb -f "$deb" Depends)
for library in libmagic1 libicu libpoppler-glib libzip libxml2 libgsf libwpd librevenge libetonyek libwps libvisio libmspub libmwaw libstaroffice libqxp libzmf libdjvulibre libgs10; do
    [[ $depends == *"$library"* ]] || { echo "Depends lacks $library: $depends"; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
root=$work/root
for file in usr/lib/glotta/bin/glotta usr/lib/glotta/bin/glotta-scan \
    usr/lib/glotta/_linux/bin/glotta usr/lib/glotta/common/glotta/langlist.cfg \
    usr/share/man/man1/glotta.1 usr/share/man/man1/glotta-scan.1 \
    usr/share/bash-completion/completions/glotta-scan; do
    test -e "$root/$file" || { echo "package lacks /$file"; exit 1; }
done
test -L "$root/usr/bin/glotta" && test -L "$root/usr/bin/glotta-scan"

# Both commands, run through the links, use the packaged plug-ins and data:
# no LD_LIBRARY_PATH, no data path.
unset LD_LIBRARY_PATH
cd "$work"
"$root/usr/bin/glotta" "$samples/fr.txt" >glotta.out
grep -qx 'LANGUAGE: French' glotta.out || { cat glotta.out; exit 1; }
"$root/usr/bin/glotta-scan" "$samples/fr.txt" "$samples/de.txt" >scan.out
cut -f2 scan.out | tr '\n' ' ' | grep -qx 'fr de ' || { cat scan.out; exit 1; }

# The SDK, when the build has one: header, library, pkg-config and CMake
# files where the system looks, and the Python package importable from
# Debian's dist-packages, finding the packaged engine through its links.
if [[ -e $root/usr/lib/glotta/lib/libglotta.so.5 ]]; then
    arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
    for file in usr/include/glotta/lang_api.h "usr/lib/$arch/libglotta.so.5" \
        "usr/lib/$arch/pkgconfig/glotta.pc" "usr/lib/$arch/cmake/glotta/glottaConfig.cmake" \
        usr/lib/python3/dist-packages/glotta/__init__.py; do
        test -e "$root/$file" || { echo "package lacks /$file (or its link is broken)"; exit 1; }
    done
    PYTHONPATH=$root/usr/lib/python3/dist-packages /usr/bin/python3 -c '
import sys, glotta
with glotta.Detector() as detector:
    found = detector.detect(sys.argv[1])
assert found[0].language == "fr", found
' "$samples/fr.txt"
fi
echo "package $(basename "$deb") works from $root"
