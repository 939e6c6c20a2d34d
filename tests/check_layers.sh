#!/usr/bin/env bash
# Fails when a file includes a header of a higher layer. The layers, lowest
# first (a folder may include its own layer and those below it):
#   0 support   1 isa   2 front, labels   3 parser   4 codegen, decode
#   5 services (text_tools)   6 driver
set -euo pipefail
src="${1:-$(dirname "$0")/../src}"

layer_of() {
    case "$1" in
    support) echo 0 ;;
    isa) echo 1 ;;
    front | labels) echo 2 ;;
    parser) echo 3 ;;
    codegen | decode) echo 4 ;;
    text_tools) echo 5 ;;
    driver) echo 6 ;;
    *) echo "unknown folder '$1'" >&2; exit 2 ;;
    esac
}

status=0
while IFS= read -r file; do
    folder=$(basename "$(dirname "$file")")
    own=$(layer_of "$folder")
    while IFS= read -r included; do
        target=$(layer_of "${included%%/*}")
        if [ "$target" -gt "$own" ]; then
            echo "${file#"$src"/}: includes \"$included\" from a higher layer" >&2
            status=1
        fi
    done < <(sed -n 's/^#include "\([a-z_]*\/[a-z_]*\.h\)"/\1/p' "$file")
done < <(find "$src" -mindepth 2 -name '*.h' -o -mindepth 2 -name '*.cpp')
exit $status
