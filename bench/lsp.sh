#!/usr/bin/env bash
# The language server's benchmark: builds the release preset, installs the
# protocol packages of tests/lsp into the build folder and runs
# bench/lsp_bench.js on generated scripts (20 KB and 1 MB by default).
#   bench/lsp.sh [BYTES...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target tolvar-lsp tolvar_scriptgen >/dev/null
work=build/release/lsp-bench
# shellcheck source=../tests/grammar/npm_packages.sh
source tests/grammar/npm_packages.sh
npm_packages "language server benchmark" tests/lsp "$work"
NODE_PATH="$work/node_modules" node bench/lsp_bench.js build/release/tolvar-lsp \
    build/release/tolvar_scriptgen "$@"
