#!/usr/bin/env bash
# Runs grammar.test.js with its npm packages installed under the build tree
# (npm ci from this folder's lock file), over the examples and over what the
# decompiler makes of them. Exit status 77: skipped, node or npm is missing.
#   run.sh WORK-FOLDER TOLVAR TOLVAR-DECOMPILE [VERSION]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples="$here/../../examples"
work=$1
tolvar=$2
decompile=$3

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "grammar test skipped: it needs node (18 or later) and npm" >&2
    exit 77
fi
if [ "$(node -p 'process.versions.node.split(".")[0]')" -lt 18 ]; then
    echo "grammar test skipped: node $(node --version) is older than 18" >&2
    exit 77
fi

mkdir -p "$work"
if [ ! -d "$work/node_modules" ] || ! cmp -s "$here/package-lock.json" "$work/package-lock.json"; then
    cp "$here/package.json" "$here/package-lock.json" "$work/"
    (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi

samples="$work/samples"
rm -rf "$samples"
mkdir -p "$samples"
"$tolvar" "$examples/innkeeper.src" -o "$samples/innkeeper.bin" 2>/dev/null
"$decompile" --offsets "$samples/innkeeper.bin" -o "$samples/innkeeper.src" 2>/dev/null
"$tolvar" "$examples/oracle.src" -t "$examples/oracle.txt" -o "$samples/oracle77.bin" 2>/dev/null
"$decompile" --md "$samples/oracle77.bin" -t "$samples/oracle77.txt" -o "$samples/oracle77.src" \
    2>/dev/null

NODE_PATH="$work/node_modules" TOLVAR_SAMPLES="$samples" TOLVAR_VERSION="${4:-}" \
    node --test "$here/grammar.test.js"
