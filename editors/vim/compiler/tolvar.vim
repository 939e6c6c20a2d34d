" Vim compiler file for tolvar conversation scripts.
" :compiler tolvar, then :make (or :make -t texts.txt) compiles the current
" script and fills the quickfix list from the gnu form of the diagnostics:
" errors, warnings and their notes, each at its file, line and column.
if exists('current_compiler')
  finish
endif
let current_compiler = 'tolvar'

if exists(':CompilerSet') != 2
  command -nargs=* CompilerSet setlocal <args>
endif

let s:cpo_save = &cpo
set cpo&vim

CompilerSet makeprg=tolvar\ --diagnostics-format=gnu\ -q\ $*\ %:S
CompilerSet errorformat=
      \%f:%l:%c:\ %trror:\ %m,
      \%f:%l:%c:\ %tarning:\ %m,
      \%f:%l:%c:\ %tote:\ %m,
      \%f:%l:\ %trror:\ %m,
      \%f:%l:\ %tarning:\ %m,
      \%f:%l:\ %tote:\ %m,
      \%f:\ %trror:\ %m,
      \%-G%.%#

let &cpo = s:cpo_save
unlet s:cpo_save
