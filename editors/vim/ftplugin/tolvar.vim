" Vim filetype plugin
" Language:	tolvar conversation script (*.src)

if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1

" A line whose first character is ';' or '#' is a comment.
setlocal comments=:;,:# commentstring=;\ %s
let b:undo_ftplugin = "setlocal comments< commentstring<"
