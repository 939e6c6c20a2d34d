" Vim syntax file
" Language:	tolvar text file: a label, a note and a quoted text per line,
"		separated by tabs

if exists("b:current_syntax")
  finish
endif

let s:cpo_save = &cpo
set cpo&vim

syn match tolvartextComment "^[;#].*$"
syn match tolvartextLabel "^[Tt]\x\{4}_\d\{4}\ze\t" nextgroup=tolvartextNote skipwhite
syn match tolvartextNote "\t\zs[^\t]*\ze\t" contained nextgroup=tolvartextString skipwhite
syn match tolvartextBadEscape +\\.\=+ contained
syn match tolvartextEscape +\\[tn"\\]+ contained
syn match tolvartextBadChar +|+ contained
syn region tolvartextJapanese start=+{+ end=+}\|\ze"+ contained contains=tolvartextBadEscape,tolvartextEscape
syn region tolvartextString start=+"+ skip=+\\.+ end=+"\|$+ contained contains=tolvartextBadEscape,tolvartextEscape,tolvartextBadChar,tolvartextJapanese

hi def link tolvartextComment Comment
hi def link tolvartextLabel Label
hi def link tolvartextNote Comment
hi def link tolvartextBadEscape Error
hi def link tolvartextEscape SpecialChar
hi def link tolvartextBadChar Error
hi def link tolvartextJapanese Character
hi def link tolvartextString String

let b:current_syntax = "tolvartext"

let &cpo = s:cpo_save
unlet s:cpo_save
