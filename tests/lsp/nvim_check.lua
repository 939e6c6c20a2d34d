-- Runs inside `nvim --headless`: opens the broken copy of an example with
-- the built-in client on tolvar-lsp, and writes what went wrong (nothing
-- when all is well) to the result file.
local server, result_file = vim.g.tolvar_lsp, vim.g.result_file
local problems = {}
local function check(ok, message)
  if not ok then table.insert(problems, message) end
end

local buffer = vim.api.nvim_get_current_buf()
local client = vim.lsp.start_client({ cmd = { server }, root_dir = vim.fn.getcwd(), name = 'tolvar' })
check(client ~= nil, 'the client did not start')
vim.lsp.buf_attach_client(buffer, client)

-- The broken line (a name without ":") is reported with the compiler's code.
local broken = vim.fn.search('^broken_line$', 'n') - 1
check(vim.wait(10000, function() return #vim.diagnostic.get(buffer) > 0 end, 20), 'no diagnostics')
local found = vim.diagnostic.get(buffer)
check(#found == 1 and found[1].lnum == broken and found[1].code == 972 and
      found[1].severity == vim.diagnostic.severity.ERROR,
      'diagnostics: ' .. vim.inspect(found))

-- Go to definition from the jump lands on the label.
local jump = vim.fn.search('jump ask_again', 'n')
local label = vim.fn.search('^ask_again:', 'n')
vim.api.nvim_win_set_cursor(0, { jump, 14 })
vim.lsp.buf.definition()
check(vim.wait(10000, function() return vim.api.nvim_win_get_cursor(0)[1] == label end, 20),
      'definition went to line ' .. vim.api.nvim_win_get_cursor(0)[1] .. ', not ' .. label)

vim.lsp.stop_client(client)
vim.fn.writefile(problems, result_file)
vim.cmd('qa!')
