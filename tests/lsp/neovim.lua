-- `tavjit lsp` in a real editor: Neovim's own LSP client, headless. Opens a
-- macro, waits for its diagnostics, then asks for completion, hover and a
-- definition, and renames a variable through the client's own rename.
--   TAVJIT_TOOL=build/tavjit nvim --headless -u NONE -i NONE -n -c "luafile tests/lsp/neovim.lua"
local failures = {}
local function check(ok, what)
  if not ok then table.insert(failures, what) end
end

local function run()
  local dir = vim.fn.tempname()
  vim.fn.mkdir(dir, "p")
  local file = dir .. "/macro.tav"
  vim.fn.writefile({
    '<?xml version="1.0"?>',
    '<tav version="1.0" edition="korvane">',
    '<tavhead><version>1</version></tavhead>',
    '<tavbody>',
    '<var name="n">3</var>',
    '<loop statement="n &gt; 0">',
    '<inserttext>Line %n%</inserttext>',
    '<shortexpression>n = n - 1</shortexpression>',
    '</loop>',
    '<insrttext>x</insrttext>',
    '</tavbody>',
    '</tav>',
  }, file)
  vim.cmd("edit " .. file)
  local buf = vim.api.nvim_get_current_buf()
  local id = vim.lsp.start_client({
    name = "tavjit",
    cmd = { os.getenv("TAVJIT_TOOL"), "lsp" },
    root_dir = dir,
    init_options = { diagnosticsDelay = 0 },
  })
  check(id ~= nil, "the client did not start")
  vim.lsp.buf_attach_client(buf, id)
  local client = vim.lsp.get_client_by_id(id)
  local uri = vim.uri_from_bufnr(buf)
  local function at(line, character)
    return { textDocument = { uri = uri }, position = { line = line, character = character } }
  end
  local function request(method, params)
    local r = client.request_sync(method, params, 5000, buf)
    return r and r.result
  end

  -- Diagnostics, as Neovim itself keeps them.
  check(vim.wait(10000, function() return #vim.diagnostic.get(buf) > 0 end), "no diagnostics came")
  local d = vim.diagnostic.get(buf)[1]
  check(d and d.lnum == 9 and d.col == 1 and d.end_col == 10, "diagnostic range")
  check(d and d.severity == vim.diagnostic.severity.WARN, "diagnostic severity")
  check(d and d.message:find("Unsupported element, 'insrttext'", 1, true), "diagnostic message")

  -- Completion after a '<' typed into the buffer (an incremental change).
  vim.api.nvim_buf_set_lines(buf, 9, 10, true, { "<" })
  local completion = request("textDocument/completion", at(9, 1))
  local labels = {}
  for _, item in ipairs(completion and completion.items or {}) do labels[item.label] = item end
  check(labels["inserttext"] and labels["loop"], "completion after '<'")
  vim.api.nvim_buf_set_lines(buf, 9, 10, true, { "<cut/>" })
  check(vim.wait(5000, function() return #vim.diagnostic.get(buf) == 0 end), "diagnostics after the fix")

  -- Hover on <var>: its description and what it yields here.
  local hover = request("textDocument/hover", at(4, 2))
  local text = hover and hover.contents and hover.contents.value or ""
  check(text:find("Declares a script variable", 1, true) and text:find("Dim n\nn=3", 1, true),
        "hover on var: " .. text)

  -- Definition of the n in %n%.
  local def = request("textDocument/definition", at(6, 18))
  check(def and def[1] and def[1].range.start.line == 4 and def[1].range.start.character == 11,
        "definition of %n%")

  -- Rename through the client, which applies the edits to the buffer.
  vim.api.nvim_win_set_cursor(0, { 7, 18 })
  vim.lsp.buf.rename("count")
  check(vim.wait(5000, function()
    local lines = vim.api.nvim_buf_get_lines(buf, 0, -1, true)
    return lines[5] == '<var name="count">3</var>' and lines[7] == "<inserttext>Line %count%</inserttext>"
  end), "rename of n to count")
end

local ok, err = pcall(run)
check(ok, "error: " .. tostring(err))
if #failures > 0 then
  io.stderr:write("neovim.lua: " .. table.concat(failures, "\nneovim.lua: ") .. "\n")
  vim.cmd("cquit 1")
end
vim.cmd("qall!")
