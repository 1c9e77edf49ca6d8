# Keeps the arrows between folders one way. Run as
#   cmake -DSOURCE_DIR=<top of the tree> -P CheckIncludeDirection.cmake
# Each folder may include only the folders listed for it, by their path from
# the top ("lzs/lzs_format.h"); a bare name ("commands.h") must be a file of
# the including file's own folder. The library's folders never reach the page
# library or a front end; the page library reaches the library only through
# the public header and the optimal-parse encoder's internal API (no export:
# it is linked from a static library of its own), and never a front end; a front end reaches the page
# library and its own folder, never another front end or the library's
# internals. Tests may also use the helpers of the page library's tests.
# The library's tests, benchmarks and fuzzers reach the library's internals
# (the fuzzers only the optimal-parse encoder) and the test helpers; the
# fuzzers also the page library; none of them a front end.

cmake_policy(SET CMP0007 NEW)  # keep the empty fields of a rule

# Longest prefix first: the first that matches a file names its rules:
# "folder|prefixes it may include|prefixes it may not|folders of its bare names".
# A name under one of those folders ("support/crc32.h" of tests/) counts as
# bare too; never one that climbs out of it ("../").
set(rules
  "colour/common/|common/ colour/common/ huecl32.h"
  "colour/later/|common/ colour/common/ colour/later/ huecl32.h"
  "colour/earlier/|common/ colour/common/ colour/earlier/ huecl32.h"
  "common/|common/"
  "lzs/|common/ lzs/ huecl32.h"
  "frame/|common/ colour/ lzs/ frame/ huecl32.h"
  "bridge/|common/ bridge/ huecl32.h"
  "pages/tests/|pages/ huecl32.h"
  "pages/|pages/ huecl32.h lzs/lzs_optimal.h|pages/tests/"
  "tools/tests/|pages/ huecl32.h||tools/huecl"
  "tools/huecl/|pages/ huecl32.h|pages/tests/"
  "tools/cups/tests/|pages/ huecl32.h||tools/cups tools/huecl"
  "tools/cups/|pages/ huecl32.h|pages/tests/"
  "app/tests/|pages/ huecl32.h||app"
  "app/|pages/ huecl32.h|pages/tests/"
  "tests/|common/ colour/ lzs/ frame/ bridge/ huecl32.h||tests"
  "bench/|common/ colour/ lzs/ tests/support/ huecl32.h"
  "fuzz/|pages/ lzs/lzs_optimal.h tests/support/ huecl32.h|pages/tests/")

set(failures "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/common/*.[ch]* ${SOURCE_DIR}/colour/*.[ch]* ${SOURCE_DIR}/lzs/*.[ch]* ${SOURCE_DIR}/frame/*.[ch]*
     ${SOURCE_DIR}/bridge/*.[ch]* ${SOURCE_DIR}/pages/*.[ch]* ${SOURCE_DIR}/tools/*.[ch]* ${SOURCE_DIR}/app/*.[ch]*
     ${SOURCE_DIR}/tests/*.[ch]* ${SOURCE_DIR}/bench/*.[ch]* ${SOURCE_DIR}/fuzz/*.[ch]*)
foreach(source IN LISTS sources)
  if(NOT source MATCHES "\\.(c|cc|cpp|h|hpp)$")
    continue()
  endif()
  set(allowed "")
  set(denied "")
  get_filename_component(folder "${source}" DIRECTORY)
  set(bareFolders ${folder})
  set(extraFolders "")
  foreach(rule IN LISTS rules)
    string(REPLACE "|" ";" parts "${rule}")
    list(GET parts 0 prefix)
    string(FIND "${source}" "${prefix}" at)
    if(at EQUAL 0)
      list(LENGTH parts fields)
      list(GET parts 1 allowed)
      if(fields GREATER 2)
        list(GET parts 2 denied)
      endif()
      if(fields GREATER 3)
        list(GET parts 3 extraFolders)
        string(REPLACE " " ";" extraFolders "${extraFolders}")
        list(APPEND bareFolders ${extraFolders})
      endif()
      break()
    endif()
  endforeach()
  string(REPLACE " " ";" allowed "${allowed}")
  string(REPLACE " " ";" denied "${denied}")
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
    set(fine FALSE)
    if(NOT included MATCHES "/")
      # A bare name: a file of the own folder (tests: also of the folder
      # they test); the public header is on every include path.
      foreach(bareFolder IN LISTS bareFolders)
        if(EXISTS ${SOURCE_DIR}/${bareFolder}/${included})
          set(fine TRUE)
        endif()
      endforeach()
    elseif(NOT included MATCHES "(^|/)\\.\\.(/|$)")
      foreach(extraFolder IN LISTS extraFolders)
        if(EXISTS ${SOURCE_DIR}/${extraFolder}/${included})
          set(fine TRUE)
        endif()
      endforeach()
    endif()
    foreach(prefix IN LISTS allowed)
      string(FIND "${included}" "${prefix}" at)
      if(at EQUAL 0)
        set(fine TRUE)
      endif()
    endforeach()
    foreach(prefix IN LISTS denied)
      string(FIND "${included}" "${prefix}" at)
      if(at EQUAL 0)
        set(fine FALSE)
      endif()
    endforeach()
    if(NOT fine)
      string(APPEND failures "  ${source} includes \"${included}\"\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "includes against the direction of the folders:\n${failures}")
endif()
list(LENGTH sources count)
message(STATUS "include direction: ${count} files, every include points the allowed way")
