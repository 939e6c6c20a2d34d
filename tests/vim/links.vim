" With a script and a text file open in one Vim, every group of both syntax
" files must be linked as its file says: Vim folds the case of group names,
" so two files' groups that differ only in case would share one link.
" Also checks the file type plugins' comment settings. Writes the failures
" to g:result_file.
let s:failures = []
let s:syntax_dir = g:editors . '/vim/syntax/'
for [s:sample, s:filetype] in [[g:src_sample, 'tolvar'], [g:txt_sample, 'tolvartext']]
  execute 'edit ' . fnameescape(s:sample)
  if &filetype !=# s:filetype
    call add(s:failures, s:sample . ': file type ' . &filetype)
  endif
  if &commentstring !=# '; %s' || &comments !=# ':;,:#'
    call add(s:failures, s:filetype . ': comments ' . &comments . ', commentstring ' . &commentstring)
  endif
endfor
for s:file in ['tolvar.vim', 'tolvartext.vim']
  for s:line in readfile(s:syntax_dir . s:file)
    let s:link = matchlist(s:line, '^hi def link \(\w\+\) \(\w\+\)')
    if empty(s:link)
      continue
    endif
    let s:got = matchstr(execute('highlight ' . s:link[1]), 'links to \zs\w\+')
    if s:got !=? s:link[2]
      call add(s:failures, s:file . ': ' . s:link[1] . ' links to ' . s:got . ', not ' . s:link[2])
    endif
  endfor
endfor
call writefile(s:failures, g:result_file)
qa!
