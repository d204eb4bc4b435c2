-- Makes the tool's reference page the body of kaldorn(1): its title becomes
-- DESCRIPTION and each of its sections a section of the manual page, named
-- in capitals as manual pages name them.
function Header(h)
  if h.identifier == "tool" then
    return pandoc.Header(1, "DESCRIPTION")
  end
  if h.level == 2 then
    return pandoc.Header(1, pandoc.text.upper(pandoc.utils.stringify(h.content)))
  end
  if h.level > 2 then
    h.level = h.level - 1
  end
  return h
end

-- Pipe tables whose rows are long get column widths that fill the whole
-- text width, leaving no room for the gaps between columns on an
-- 80-column terminal: take a tenth off each column. Cells are set ragged
-- right, since an entry point's name cannot be spread over a narrow cell.
function Table(t)
  for i, spec in ipairs(t.colspecs) do
    if type(spec[2]) == "number" then
      t.colspecs[i] = {spec[1], spec[2] * 0.9}
    end
  end
  return {pandoc.RawBlock("man", ".na"), t, pandoc.RawBlock("man", ".ad")}
end
