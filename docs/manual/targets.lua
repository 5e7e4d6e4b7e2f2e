-- One text, two kinds of page. Blocks and headings marked {.help} are for the help page only,
-- {.man} for the manual pages only. On a manual page the chapter titles (level 1) go and every
-- other heading moves up one level, so a chapter's "Options" becomes the page's OPTIONS.

local man = FORMAT == "man"

-- Roff reads "-" as a hyphen, which is not the ASCII minus an option is typed with.
local function roff_escape(s)
  return (s:gsub("\\", "\\(rs"):gsub("%-", "\\-"))
end

local function has_class(el, class)
  for _, c in ipairs(el.classes) do
    if c == class then return true end
  end
  return false
end

local function other_target(el)
  return has_class(el, man and "help" or "man")
end

function Div(el)
  if other_target(el) then return {} end
  if has_class(el, "help") or has_class(el, "man") then return el.content end
end

function Header(el)
  if other_target(el) then return {} end
  if not man then return nil end
  if el.level == 1 then return {} end
  el.level = el.level - 1
  if el.level == 1 then
    el = pandoc.walk_block(el, {Str = function(s) return pandoc.Str(pandoc.text.upper(s.text)) end})
  end
  return el
end

if man then
  function Str(el)
    if not el.text:find("-", 1, true) then return nil end
    local out = {}
    for part, dash in el.text:gmatch("([^-]*)(%-?)") do
      if part ~= "" then table.insert(out, pandoc.Str(part)) end
      if dash ~= "" then table.insert(out, pandoc.RawInline("man", "\\-")) end
    end
    return out
  end

  function Code(el)
    return pandoc.RawInline("man", "\\f[V]" .. roff_escape(el.text) .. "\\f[R]")
  end

  function CodeBlock(el)
    local lines = {}
    for line in (el.text .. "\n"):gmatch("(.-)\n") do
      line = roff_escape(line)
      -- A line starting with a dot or a quote would be read as a request.
      if line:match("^[.']") then line = "\\&" .. line end
      table.insert(lines, line)
    end
    return pandoc.RawBlock("man", ".IP\n.nf\n\\f[V]\n" .. table.concat(lines, "\n") .. "\n\\f[R]\n.fi")
  end
end
