#!/usr/bin/env bash
# Builds the Debian package of a build with cpack and checks it: the files it
# holds (tests/install/files.txt under /usr), its control fields, and that
# the commands unpacked from it compile an example. Exit status 77: skipped,
# dpkg-deb is missing.
#   package.sh BUILD-DIR [VERSION]   (default: the build's project version)
set -euo pipefail
build=$(realpath "$1")
version=${2:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v dpkg-deb >/dev/null; then
    echo "package test skipped: dpkg-deb is not installed" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1 ||
    { cat cpack.log >&2; exit 1; }
package=$(ls out/*.deb)

status=0
if ! diff -u <(sed 's|^|usr/|' "$here/files.txt") \
    <(dpkg-deb -c "$package" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort); then
    echo "FAIL: the package's files differ from tests/install/files.txt" >&2
    status=1
fi

field()
{
    dpkg-deb -f "$package" "$1"
}
expect_field()
{
    local name=$1 pattern=$2 value
    value=$(field "$name")
    if ! [[ $value =~ $pattern ]]; then
        echo "FAIL: $name is '$value'" >&2
        status=1
    fi
}
# field | what its value must match
expect_field Package '^tolvar$'
expect_field Version "^${version//./\\.}$"
expect_field Architecture "^$(dpkg --print-architecture)$"
expect_field Maintainer '^[^<]+ <[^>]+@[^>]+>$'
expect_field Section '^devel$'
expect_field Depends '(^|, )libc6( |,|$)'
expect_field Depends '(^|, )libstdc\+\+6( |,|$)'
expect_field Description '^[a-z].+'
if [ "$(basename "$package")" != "tolvar_${version}_$(field Architecture).deb" ]; then
    echo "FAIL: the package is named $(basename "$package")" >&2
    status=1
fi

dpkg-deb -x "$package" root
root/usr/bin/tolvar "$here/../../examples/ferryman.src" -o ferryman.bin 2>/dev/null
root/usr/bin/tolvar-decompile --se ferryman.bin -o ferryman.src 2>/dev/null
root/usr/bin/tolvar ferryman.src -o again.bin 2>/dev/null
cmp ferryman.bin again.bin

[ "$status" -eq 0 ] && echo "Debian package $(basename "$package"): files, fields and commands right"
exit "$status"
