cmake_minimum_required(VERSION 3.25)
# Writes the huecl(1) manual page from what the tool itself says: its
# --help and the help of every command that lists.
#   cmake -DTOOL=.../huecl -DOUTPUT=huecl.1 -DVERSION=x.y.z -P HelpToMan.cmake

# roff treats backslashes, and dots or quotes at a line's start, as markup.
function(huecl_roff_block text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

function(huecl_tool_help out)
  execute_process(COMMAND ${TOOL} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE result
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(result)
    message(FATAL_ERROR "huecl ${ARGN} failed: ${result}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

huecl_tool_help(usage --help)
huecl_roff_block("${usage}" usage_block)
string(CONCAT page ".TH HUECL 1 \"\" \"huecl ${VERSION}\" \"User Commands\"\n"
         ".SH NAME\nhuecl \\- colour processing and LZS compression of a colour printer driver\n"
         ".SH SYNOPSIS\n${usage_block}"
         ".SH COMMANDS\n")
string(REGEX MATCHALL "\n  huecl [a-z]+ " listed "${usage}")
foreach(line IN LISTS listed)
  string(REGEX REPLACE "\n  huecl ([a-z]+) " "\\1" command "${line}")
  if(command STREQUAL "help")
    continue()
  endif()
  huecl_tool_help(command_help help ${command})
  huecl_roff_block("${command_help}" block)
  string(APPEND page ".SS \"huecl ${command}\"\n${block}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
