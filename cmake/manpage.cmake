# Writes the man page velmorane.1 from README.md: the option table and the exit-status
# table of its "Command line" section become OPTIONS and EXIT STATUS.
#   cmake -DREADME=README.md -DVERSION=3.0.0 -DOUTPUT=velmorane.1 -P cmake/manpage.cmake

# Markdown of one table cell to roff: code in bold, roff's own characters escaped.
function(to_roff text out)
  string(STRIP "${text}" text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "`([^`]*)`" "\\\\fB\\1\\\\fR" text "${text}")
  string(REGEX REPLACE "\\*\\*([^*]*)\\*\\*" "\\\\fB\\1\\\\fR" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The rows of the table whose header row starts with `header`, as "first;rest" pairs
# joined by the separator "\n".
function(table_rows lines header out)
  set(rows "")
  set(inside FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\| ${header} \\|")
      set(inside TRUE)
    elseif(inside AND line MATCHES "^\\|---")
    elseif(inside AND line MATCHES "^\\|(.*)\\|$")
      # A semicolon of the text would split the list of cells.
      string(REPLACE ";" "@SEMICOLON@" line "${line}")
      string(REGEX MATCH "^\\|([^|]*)\\|(.*)\\|$" _ "${line}")
      set(first "${CMAKE_MATCH_1}")
      string(REPLACE "|" ";" cells "${CMAKE_MATCH_2}")
      list(TRANSFORM cells STRIP)
      list(JOIN cells "; default: " rest)
      to_roff("${first}" first)
      to_roff("${rest}" rest)
      string(REPLACE "@SEMICOLON@" ";" first "${first}")
      string(REPLACE "@SEMICOLON@" ";" rest "${rest}")
      string(APPEND rows ".TP\n${first}\n${rest}\n")
    elseif(inside)
      break()
    endif()
  endforeach()
  set(${out} "${rows}" PARENT_SCOPE)
endfunction()

file(STRINGS "${README}" lines ENCODING UTF-8)
table_rows("${lines}" "option" options)
table_rows("${lines}" "status" statuses)
string(REPLACE "; default: " " " statuses "${statuses}")
if(options STREQUAL "")
  message(FATAL_ERROR "no option table in ${README}")
endif()

file(WRITE "${OUTPUT}" ".TH VELMORANE 1 \"\" \"velmorane ${VERSION}\" \"User Commands\"
.SH NAME
velmorane \\- convert HTML pages to RTF documents or plain text
.SH SYNOPSIS
.B velmorane
\\fIINPUT.html\\fR [\\fIOUTPUT\\fR] [\\fIoptions\\fR]
.br
.B velmorane
\\fIINPUT\\-FOLDER\\fR [\\fIOUTPUT\\-FOLDER\\fR] [\\fIoptions\\fR]
.br
.B velmorane
\\- [\\fB\\-o\\fR \\fIOUTPUT\\fR] [\\fIoptions\\fR]
.br
.B velmorane
\\fISETTINGS.cfg\\fR
.br
.B velmorane \\-\\-help\\fR | \\fB\\-\\-version
.SH DESCRIPTION
.B velmorane
converts an HTML page, every HTML page of a folder, or a folder tree into RTF documents
(or plain text), keeping fonts, colours, alignment, lists, links, tables and pictures.
An input of \\fB\\-\\fR reads standard input; an output of \\fB\\-\\fR writes standard output.
Each run writes the run log \\fIvelmorane.log\\fR in the current directory unless
\\fB\\-log\\fR says otherwise.
.SH OPTIONS
Each option takes one value, the next argument, except \\fB\\-q\\fR, \\fB\\-v\\fR,
\\fB\\-\\-help\\fR and \\fB\\-\\-version\\fR. The values no, free, off, false and 0 switch a flag
off; any other value switches it on. An unknown option is an error.
${options}.SH EXIT STATUS
${statuses}.SH FILES
.TP
.I velmorane.log
the run log, in the current directory
.SH SEE ALSO
The README of the project, which this page is made from.
")
