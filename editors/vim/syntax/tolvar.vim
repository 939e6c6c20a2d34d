" Vim syntax file
" Language:	tolvar conversation script (*.src)
" The keyword and operator lines are written from the compiler's instruction
" table: cmake --build <build> --target editor_keywords

if exists("b:current_syntax")
  finish
endif

let s:cpo_save = &cpo
set cpo&vim

syn case ignore
syn iskeyword @,48-57,_,$

" At one position a keyword beats a match, and of two matches the later one
" wins: the general patterns come first.
syn match tolvarLabelRef "\<\a\w*\>"
syn match tolvarStringLabel "\<[Tt]\x\{4}_\d\{4}\>"
syn match tolvarLabel "^\s*\zs\a\w*\ze\s*:\%(=\)\@!"
" C notation: 08 is the number 0 followed by the number 8.
syn match tolvarNumber "0[xX]\x\+\|0\o*\|[1-9]\d*"

syn keyword tolvarStatement misc_action UNKNOWN_D1 UNKNOWN_DF endanswer inventory resurrect sconverse addkarma inputnum inputstr keywords portrait subkarma worktype enddata setname sprefix answer clearf delete dprint sident horse input sleep slook askc cure decl give heal jump setf wait ask bye end new
syn keyword tolvarConditional endif else if
syn keyword tolvarFunction objinparty npcnearby cancarry objcount poisoned indexof inparty wounded hasobj horsed weight leave data flag join rand dex exp int lvl npc str
syn keyword tolvarVariable $str $var
syn keyword tolvarType int16 int32 byte
syn keyword tolvarEval eval

syn match tolvarArithmetic "\V\(*\|+\|-\|/\)"
syn match tolvarComparison "\V\(!=\|<=\|==\|>=\|<\|>\)"
syn match tolvarLogical "\V\(&&\|||\)"
syn match tolvarAssignment "\V\(:=\)"

syn match tolvarDirective "\c\V\(.unknown.byte\|.unknown\|.data\|.option\)\[[:alnum:]_.]\@!"
syn match tolvarOption "\V\(--endif-without-if\|--implicit-int32\|--implicit-decl\|--implicit-eval\|--u6\|--se\|--md\)\[[:alnum:]_-]\@!"

syn match tolvarBadEscape +\\.\=+ contained
syn match tolvarEscape +\\[tn"\\]+ contained
syn match tolvarBadChar +|+ contained
syn region tolvarJapanese start=+{+ end=+}\|\ze"+ contained contains=tolvarBadEscape,tolvarEscape
" A text whose first brace closes continues a region opened on an earlier line.
syn match tolvarJapaneseHead +"\@<=\%([^"\\{}]\|\\.\)*}+ contained contains=tolvarBadEscape,tolvarEscape
syn region tolvarString start=+"+ skip=+\\.+ end=+"\|$+ contains=tolvarBadEscape,tolvarEscape,tolvarBadChar,tolvarJapanese,tolvarJapaneseHead

" Outside a text, ';' and '#' end what the compiler reads of a line.
syn match tolvarComment "[;#].*$"

hi def link tolvarLabelRef Identifier
hi def link tolvarStringLabel Constant
hi def link tolvarLabel Label
hi def link tolvarNumber Number
hi def link tolvarStatement Statement
hi def link tolvarConditional Conditional
hi def link tolvarFunction Function
hi def link tolvarVariable Special
hi def link tolvarType Type
hi def link tolvarEval Keyword
hi def link tolvarArithmetic Operator
hi def link tolvarComparison Operator
hi def link tolvarLogical Operator
hi def link tolvarAssignment Operator
hi def link tolvarDirective PreProc
hi def link tolvarOption Constant
hi def link tolvarBadEscape Error
hi def link tolvarBadChar Error
hi def link tolvarEscape SpecialChar
hi def link tolvarJapanese Character
hi def link tolvarJapaneseHead Character
hi def link tolvarString String
hi def link tolvarComment Comment

let b:current_syntax = "tolvar"

let &cpo = s:cpo_save
unlet s:cpo_save
