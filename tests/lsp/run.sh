#!/usr/bin/env bash
# Runs lsp.test.js against tolvar-lsp with its npm packages installed under
# the build tree (npm ci from this folder's lock file). Exit status 77:
# skipped, node or npm is missing or the npm registry can't be reached.
#   run.sh WORK-FOLDER TOLVAR-LSP TOLVAR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$1
server=$2
compiler=$3

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    echo "language server test skipped: it needs node (18 or later) and npm" >&2
    exit 77
fi
if [ "$(node -p 'process.versions.node.split(".")[0]')" -lt 18 ]; then
    echo "language server test skipped: node $(node --version) is older than 18" >&2
    exit 77
fi

mkdir -p "$work"
if [ ! -d "$work/node_modules" ] || ! cmp -s "$here/package-lock.json" "$work/package-lock.json"; then
    rm -f "$work/package-lock.json"
    cp "$here/package.json" "$here/package-lock.json" "$work/"
    if ! (cd "$work" && npm ci --no-audit --no-fund --loglevel=error); then
        rm -f "$work/package-lock.json"
        echo "language server test skipped: npm ci failed (is the npm registry reachable?)" >&2
        exit 77
    fi
fi

NODE_PATH="$work/node_modules" TOLVAR_LSP="$server" TOLVAR="$compiler" TOLVAR_EXAMPLES="$here/../../examples" \
    node --test "$here/lsp.test.js"
