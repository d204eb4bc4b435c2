#!/bin/sh
# Doxygen input filter: the public headers carry their contracts in plain
# comments just above each declaration; read those as documentation.
#   - the comment block that opens a file documents the file (@file);
#   - "// text" becomes "/// text" and "/* text" becomes "/** text", except
#     separator lines of dashes, which stay plain.
# Line numbers are kept, so warnings point at the header's own lines.
exec awk '
  function separator(line) { return line ~ /^[ \t]*(\/\/|\/\*| \*)[ \t]*-{4,}/ }
  NR == 1 { opening = 1 }
  opening && $0 ~ /^\/\*/ { print "/** @file" substr($0, 3); opening = 0; next }
  opening && $0 ~ /^\/\// {
    held = held (held == "" ? "" : "\n") "///" substr($0, 3); next
  }
  opening { if (held != "") print held " @file"; opening = 0 }
  separator($0) { print; next }
  /^[ \t]*\/\/([^\/!]|$)/ { sub(/\/\//, "///") }
  /^[ \t]*\/\*([^*!]|$)/ { sub(/\/\*/, "/**") }
  { print }
  END { if (opening && held != "") print held " @file" }
' "$1"
