# Checks a static library built under the shared library's rules (the
# optimal-parse LZS encoder): it references no allocator, exception
# machinery, I/O or threads, and makes none of its symbols visible.
# Usage: cmake -DNM=nm -DLIBRARY=libhuecl_lzs_best.a -P CheckStaticLibrary.cmake
execute_process(COMMAND ${NM} --undefined-only --format=posix "${LIBRARY}"
                OUTPUT_VARIABLE undefined RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
set(forbidden "^(malloc|calloc|realloc|free|aligned_alloc|posix_memalign|_Znw|_Zna|_Zdl|_Zda|__cxa_|_Unwind_|open|fopen|read|write|printf|puts|abort|pthread_)")
string(REPLACE "\n" ";" undefined "${undefined}")
set(failed FALSE)
foreach(row IN LISTS undefined)
  string(REGEX REPLACE " .*" "" symbol "${row}")
  if(symbol MATCHES "${forbidden}")
    message(SEND_ERROR "${LIBRARY} references ${symbol}")
    set(failed TRUE)
  endif()
endforeach()
# A defined global symbol must be hidden, or the programs linking the
# library would export it beside libhuecl32's names.
execute_process(COMMAND ${OBJDUMP} -t "${LIBRARY}" OUTPUT_VARIABLE table RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "objdump -t failed on ${LIBRARY}")
endif()
string(REPLACE "\n" ";" table "${table}")
foreach(row IN LISTS table)
  # Global (g) or unique/weak definitions in a section, not *UND*.
  if(row MATCHES "^[0-9a-f]+ [gwu]" AND NOT row MATCHES "\\*UND\\*" AND NOT row MATCHES " \\.hidden ")
    message(SEND_ERROR "${LIBRARY} defines a visible symbol: ${row}")
    set(failed TRUE)
  endif()
endforeach()
if(NOT failed)
  message(STATUS "${LIBRARY}: no forbidden references, no visible symbols")
endif()
