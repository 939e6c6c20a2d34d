#!/usr/bin/env bash
# Neovim's built-in client on tolvar-lsp: a broken copy of an example gets
# its diagnostic, and go to definition lands on the label.
# Exit status 77: skipped, nvim is missing.
#   nvim.sh TOLVAR-LSP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
server=$1
if ! command -v nvim >/dev/null; then
    echo "Neovim test skipped: nvim is not installed (Debian: neovim)" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A name without ":" before the label: the compiler's first error.
sed 's/^ask_again:/broken_line\n&/' "$here/../../examples/innkeeper.src" >"$work/innkeeper.src"
result="$work/result"
(cd "$work" && timeout 60 nvim --headless -n -i NONE -u NONE \
    --cmd "let g:tolvar_lsp = '$server' | let g:result_file = '$result'" \
    -c "luafile $here/nvim_check.lua" innkeeper.src </dev/null >/dev/null 2>&1) || true
if [ ! -f "$result" ]; then
    echo "Neovim wrote no result" >&2
    exit 1
fi
if [ -s "$result" ]; then
    cat "$result" >&2
    exit 1
fi
echo "Neovim: the diagnostic and the definition as expected"
