# Tests CheckIncludeDirection.cmake on a made-up tree. Run as
#   cmake -DCHECK_SCRIPT=<CheckIncludeDirection.cmake> -DWORK_DIR=<empty folder> -P CheckIncludeDirectionTest.cmake
# The tree holds includes the check must refuse, each in a file of its own,
# and includes it must let through; the check has to fail and name exactly
# the refused ones. Then, with the refused files gone, it has to pass.

cmake_policy(SET CMP0007 NEW)  # keep the empty fields of an entry

file(REMOVE_RECURSE ${WORK_DIR})

# "path|included file": one file per line, each including one name.
set(allowed
  "include/huecl32.h|"
  "lzs/lzs_format.h|common/byte_order.h"
  "common/byte_order.h|"
  "colour/later/match.cpp|colour/common/tables.h"
  "colour/common/tables.h|huecl32.h"
  "pages/page_pipeline.cpp|lzs/lzs_optimal.h"
  "pages/readers/png_image.cpp|pages/page_error.h"
  "pages/page_error.h|"
  "lzs/lzs_optimal.h|"
  "tools/huecl/commands.cpp|commands.h"
  "tools/huecl/commands.h|pages/page_error.h"
  "tools/cups/filter_job.cpp|filter_job.h"
  "tools/cups/filter_job.h|pages/page_error.h"
  "tools/cups/tests/filter_test.cpp|commands.h"
  "app/job_settings.cpp|pages/page_error.h"
  "tests/unit/decode_test.cpp|support/crc32.h"
  "tests/support/crc32.h|"
  "bench/lzs_bench.cpp|lzs/lzs_optimal.h"
  "fuzz/png_fuzzer.cpp|pages/readers/png_image.h")
set(refused
  # The library never reaches the page library, nor one subsystem another's.
  "lzs/lzs_colour.cpp|colour/common/tables.h"
  "colour/earlier/earlier.cpp|colour/later/match.cpp"
  "common/pages_peek.cpp|pages/page_error.h"
  # The page library never reaches a front end or the library's insides.
  "pages/page_tool.cpp|tools/huecl/commands.h"
  "pages/page_format.cpp|lzs/lzs_format.h"
  # A front end never reaches another front end: not by path, not by a
  # bare name of another folder, not by climbing out of its own.
  "app/raster_reader.cpp|tools/cups/filter_job.h"
  "tools/huecl/filter_peek.cpp|filter_job.h"
  "tools/huecl/climbing.cpp|../cups/filter_job.h"
  "tools/cups/library_peek.cpp|lzs/lzs_format.h"
  # Tests, benchmarks and fuzzers never reach a front end.
  "tests/unit/tool_test.cpp|tools/huecl/commands.h"
  "tests/unit/climbing_test.cpp|../tools/huecl/commands.h"
  "bench/app_bench.cpp|app/job_settings.cpp"
  "fuzz/filter_fuzzer.cpp|tools/cups/filter_job.h"
  "fuzz/climbing_fuzzer.cpp|../tools/cups/filter_job.h")

function(write_files entries)
  foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 path)
    list(LENGTH parts fields)
    set(text "// made up\n")
    if(fields GREATER 1)
      list(GET parts 1 included)
      if(included)
        set(text "#include \"${included}\"\n#include <vector>\n")
      endif()
    endif()
    file(WRITE ${WORK_DIR}/${path} "${text}")
  endforeach()
endfunction()

function(run_check result_var output_var)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR} -P ${CHECK_SCRIPT}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

write_files("${allowed}")
write_files("${refused}")
run_check(result output)
if(result EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with includes against the direction:\n${output}")
endif()
set(problems "")
foreach(entry IN LISTS refused)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  list(GET parts 1 included)
  string(FIND "${output}" "${path} includes \"${included}\"" at)
  if(at EQUAL -1)
    string(APPEND problems "  not reported: ${path} includes \"${included}\"\n")
  endif()
endforeach()
foreach(entry IN LISTS allowed)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  string(FIND "${output}" "${path} includes" at)
  if(NOT at EQUAL -1)
    string(APPEND problems "  reported, yet allowed: ${path}\n")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "the check judged the made-up tree wrongly:\n${problems}its output:\n${output}")
endif()

foreach(entry IN LISTS refused)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 path)
  file(REMOVE ${WORK_DIR}/${path})
endforeach()
run_check(result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the check failed a tree whose includes all point the allowed way:\n${output}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
list(LENGTH refused count)
message(STATUS "include direction check: refuses all ${count} wrong includes and passes the rest")
