#!/usr/bin/env bash
# :compiler tolvar and :make in a headless Vim, on a script whose fault is in
# its text file: the quickfix list must hold the text file's line and
# column, then the script line that uses the text.
#   compiler.sh TOLVAR
# Exit status 77: skipped, vim is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v vim >/dev/null; then
    echo "Vim compiler test skipped: vim is not installed" >&2
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
ln -s "$1" "$work/bin/tolvar"
printf 'T0A1F_0001\tgreeting\t"Hello."\nT0A1F_0002\tfarewell\t"Tr\xc3\xa8s bien."\n' >"$work/texts.txt"
printf '"Hi"\nT0A1F_0002\nbye\n' >"$work/talk.src"
cd "$work"
PATH="$work/bin:$PATH" vim -N -u NONE -i NONE -es --not-a-term \
    --cmd "set rtp^=$here/../../editors/vim" --cmd 'filetype plugin on' \
    -c 'compiler tolvar' -c 'silent make -t texts.txt' \
    -c "call writefile(map(getqflist(), {_, e -> bufname(e.bufnr) . ':' . e.lnum . ':' . e.col . ':' . e.type}), 'result')" \
    -c 'qa!' talk.src </dev/null >/dev/null 2>&1 || true
expected=$'texts.txt:2:24:e\ntalk.src:2:1:n'
actual=$(cat result 2>/dev/null || echo "(no result)")
if [ "$actual" != "$expected" ]; then
    printf 'quickfix list:\n%s\nexpected:\n%s\n' "$actual" "$expected" >&2
    exit 1
fi
echo "Vim :make filled the quickfix list at the text file's line and column"
