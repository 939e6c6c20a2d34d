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

# shellcheck source=../grammar/npm_packages.sh
source "$here/../grammar/npm_packages.sh"
npm_packages "language server test" "$here" "$work"

NODE_PATH="$work/node_modules" TOLVAR_LSP="$server" TOLVAR="$compiler" TOLVAR_EXAMPLES="$here/../../examples" \
    node --test "$here/lsp.test.js"
