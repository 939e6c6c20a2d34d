" Checks the syntax groups of the current buffer against g:expect_file:
" lines of line-number<Tab>text<Tab>group; every character of the first
" occurrence of text in that line must be in group ("-" for none).
" Writes the failures to g:result_file.
let s:failures = []
for s:row in readfile(g:expect_file)
  let [s:lnum, s:text, s:group] = split(s:row, "\t", 1)
  let s:start = stridx(getline(s:lnum), s:text)
  if s:start < 0
    call add(s:failures, s:row . ': text not found')
    continue
  endif
  for s:col in range(s:start + 1, s:start + len(s:text))
    let s:name = synIDattr(synID(s:lnum, s:col, 1), 'name')
    if s:name !=# (s:group ==# '-' ? '' : s:group)
      call add(s:failures, s:row . ': column ' . s:col . ' is ' . (s:name ==# '' ? '-' : s:name))
      break
    endif
  endfor
endfor
call writefile(s:failures, g:result_file)
qa!
