" tolvar scripts, and text files of labelled texts (found by their content,
" since they are plain .txt files).
au BufRead,BufNewFile *.src setfiletype tolvar
au BufRead * if getline(1) =~# '^; Decompiled by tolvar-decompile ' | setfiletype tolvar | endif
au BufRead *.txt if match(getline(1, 20), '^[Tt]\x\{4}_\d\{4}\t') >= 0 | set filetype=tolvartext | endif
