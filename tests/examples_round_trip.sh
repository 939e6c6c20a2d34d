#!/usr/bin/env bash
# Every example through the command line: compile, decompile (texts in the
# script and in a text file), compile again; the bytes must be the same and
# no byte may come back raw.
set -euo pipefail
tolvar=$1
decompile=$2
examples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {
    local name=$1 game=$2 texts=${3:-}
    local text_args=()
    [ -n "$texts" ] && text_args=(-t "$examples/$texts")
    "$tolvar" "--$game" "$examples/$name" "${text_args[@]}" -o "$work/$name.bin" 2>/dev/null
    "$decompile" "--$game" "$work/$name.bin" -o "$work/$name.1.src" 2>/dev/null
    "$tolvar" "$work/$name.1.src" -o "$work/$name.1.bin" 2>/dev/null
    "$decompile" "--$game" "$work/$name.bin" -t "$work/$name.txt" -o "$work/$name.2.src" 2>/dev/null
    "$tolvar" "$work/$name.2.src" -t "$work/$name.txt" -o "$work/$name.2.bin" 2>/dev/null
    cmp "$work/$name.bin" "$work/$name.1.bin"
    cmp "$work/$name.bin" "$work/$name.2.bin"
    if grep -q '\.unknown' "$work/$name.1.src" "$work/$name.2.src"; then
        echo "$name: raw bytes in the decompiled script" >&2
        exit 1
    fi
}

check innkeeper.src u6
check ferryman.src se
check oracle.src md oracle.txt
echo "examples: the same bytes after decompiling"
