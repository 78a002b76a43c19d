# Doxygen input filter: Korvo's headers use plain // comments, which
# Doxygen would ignore. This turns them into documentation comments without
# changing the headers: the opening comment block of a file describes the
# file, a // line before a declaration documents it, and a // comment after
# code on the same line documents that member (///<).
BEGIN { in_head = 1 }
in_head && /^\/\/ / {
  if (!started) { print "/** @file"; started = 1 }
  sub(/^\/\/ ?/, " * ")
  print
  next
}
in_head && /^\/\/$/ { print " *"; next }
in_head {
  if (started) print " */"
  in_head = 0
}
/^[ \t]*\/\/ ?/ {
  # A section ruler such as "// ----- editing" is for readers of the source only.
  if ($0 ~ /^[ \t]*\/\/ ?--/) { print ""; next }
  sub(/\/\//, "///")
  print
  next
}
/[^ \t].*[ \t]\/\/ / && $0 !~ /"[^"]*\/\/[^"]*"/ {
  sub(/[ \t]\/\/ /, " ///< ")
  print
  next
}
{ print }
