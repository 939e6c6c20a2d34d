#!/usr/bin/env bash
# Builds the Debian package of a build with cpack and runs lintian on it:
# any error or warning fails, information tags are shown and allowed. Exit
# status 77: skipped, lintian or dpkg-deb is missing.
#   lintian.sh BUILD-DIR
set -euo pipefail
build=$(realpath "$1")

for tool in lintian dpkg-deb; do
    if ! command -v "$tool" >/dev/null; then
        echo "lintian test skipped: $tool is not installed" >&2
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1 ||
    { cat cpack.log >&2; exit 1; }
package=$(ls out/*.deb)

# lintian complains on standard error when run as root; that is no finding.
status=0
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$package" \
    2> >(grep -v 'running with root privileges' >&2) || status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL: lintian finds errors or warnings in $(basename "$package")" >&2
    exit 1
fi
echo "lintian: no error or warning in $(basename "$package")"
