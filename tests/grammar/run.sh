#!/usr/bin/env bash
# Runs grammar.test.js with its npm packages installed under the build tree
# (npm ci from this folder's lock file), over the examples and over what the
# decompiler makes of them. Exit status 77: skipped, node or npm is missing,
# or the npm registry can't be reached.
#   run.sh WORK-FOLDER TOLVAR TOLVAR-DECOMPILE [VERSION]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples="$here/../../examples"
work=$1
tolvar=$2
decompile=$3

# shellcheck source=npm_packages.sh
source "$here/npm_packages.sh"
npm_packages "grammar test" "$here" "$work"

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
