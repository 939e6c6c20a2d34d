#!/usr/bin/env bash
# Runs problem_matcher.js on the gnu form of a failing compile and of a
# warning. Exit status 77: skipped, node is missing.
#   problem_matcher.sh TOLVAR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v node >/dev/null; then
    echo "problem matcher test skipped: node is not installed" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'T0A1F_0001\tgreeting\t"Hello."\nT0A1F_0002\tfarewell\t"Tr\xc3\xa8s bien."\n' >texts.txt
printf 'T0A1F_0002\n' >talk.src
printf 'if eval 1\nendif\n' >empty.src
"$1" --diagnostics-format=gnu -t texts.txt talk.src 2>>gnu.txt || true
"$1" --diagnostics-format=gnu empty.src 2>>gnu.txt || true
node "$here/problem_matcher.js" "$here/../../editors/vscode/package.json" gnu.txt
