#!/usr/bin/env bash
# The map of a conversation that the README shows: the innkeeper example,
# compiled, and mapped by `tolvar-decompile --graph` into
# OUT/innkeeper-map.dot, then drawn by Graphviz's dot into
# OUT/innkeeper-map.svg (unless --dot-only).
#
#   tools/conversation_map.sh BUILD_DIR [OUT_DIR] [--dot-only]
#
# OUT_DIR is doc/ by default. The ctest entry readme_map checks that the
# files in doc/ are what this script makes today.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=${2:-$root/doc}
dot_only=${3:-}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$work"
"$build/tolvar" "$root/examples/innkeeper.src" -o innkeeper.bin 2>/dev/null
"$build/tolvar-decompile" --graph innkeeper.bin -o "$out/innkeeper-map.dot" 2>/dev/null
if [ "$dot_only" != "--dot-only" ]; then
    dot -Tsvg "$out/innkeeper-map.dot" -o "$out/innkeeper-map.svg"
fi
