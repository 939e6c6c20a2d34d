#!/usr/bin/env bash
# Opens the samples in Vim with editors/vim on the runtime path, so that
# ftdetect picks the file type, and checks the syntax groups they get; then
# opens both in one Vim and checks each group's link and the file type
# plugins' comment settings.
# Exit status 77: skipped, vim is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v vim >/dev/null; then
    echo "Vim syntax test skipped: vim is not installed" >&2
    exit 77
fi
result=$(mktemp)
trap 'rm -f "$result"' EXIT
status=0
for pair in "sample.src expect-src.tsv tolvar" "sample.txt expect-txt.tsv tolvartext"; do
    read -r sample expect filetype <<<"$pair"
    rm -f "$result"
    vim -N -u NONE -i NONE -es --not-a-term \
        --cmd "set rtp^=$here/../../editors/vim" --cmd 'filetype on' --cmd 'syntax on' \
        --cmd "let g:expect_file = '$here/$expect' | let g:result_file = '$result'" \
        -c "if &filetype !=# '$filetype' | call writefile(['file type ' . &filetype], g:result_file) | qa! | endif" \
        -c "source $here/check.vim" "$here/$sample" </dev/null || true
    if [ ! -f "$result" ]; then
        echo "$sample: vim wrote no result" >&2
        status=1
    elif [ -s "$result" ]; then
        sed "s/^/$sample: /" "$result" >&2
        status=1
    fi
done

rm -f "$result"
vim -N -u NONE -i NONE -es --not-a-term \
    --cmd "set rtp^=$here/../../editors/vim" --cmd 'filetype plugin on' --cmd 'syntax on' \
    --cmd "let g:editors = '$here/../../editors' | let g:result_file = '$result'" \
    --cmd "let g:src_sample = '$here/sample.src' | let g:txt_sample = '$here/sample.txt'" \
    -c "source $here/links.vim" </dev/null || true
if [ ! -f "$result" ]; then
    echo "links.vim: vim wrote no result" >&2
    status=1
elif [ -s "$result" ]; then
    cat "$result" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "Vim: both samples as expected, every group linked as its file says"
exit "$status"
