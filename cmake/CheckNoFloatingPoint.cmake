# Disassembles the shipped library and fails on any floating-point
# arithmetic instruction (x87 or SSE scalar/packed float): the library
# computes with integers only. Moves of 16-byte blocks through SSE
# registers are integer work and stay allowed.
# Usage: cmake -DOBJDUMP=objdump -DLIBRARY=... -P CheckNoFloatingPoint.cmake
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn "${LIBRARY}" OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "objdump -d failed on ${LIBRARY}")
endif()
set(x87 "f(add|sub|subr|mul|div|divr|ld|ld1|ldz|ild|st|stp|ist|istp|isttp|com|comp|ucom|ucomi|comi|sqrt|abs|chs|xch|nstcw|ldcw|rndint|scale|prem|sin|cos)[lsqt]?p?")
set(sse "((add|sub|mul|div|sqrt|min|max|rcp|rsqrt)(ss|sd|ps|pd)|cvt[a-z0-9]*(ss|sd|ps|pd)[a-z0-9]*|u?comis[sd])")
string(REGEX MATCHALL "\n *[0-9a-f]+:\t(${x87}|v?${sse}) [^\n]*" hits "${listing}")
if(hits)
  list(LENGTH hits count)
  list(SUBLIST hits 0 5 first)
  string(REPLACE ";" "" first "${first}")
  message(FATAL_ERROR "${LIBRARY} holds ${count} floating-point instructions, for example:${first}")
endif()
message(STATUS "${LIBRARY}: no floating-point instructions")
