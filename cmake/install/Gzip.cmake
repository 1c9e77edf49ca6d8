cmake_minimum_required(VERSION 3.25)
# Compresses one file as Debian keeps manual pages and changelogs: gzip -9n,
# with neither the file's name nor its time in the header, so that the same
# text always gives the same bytes.
#   cmake -DINPUT=FILE -DOUTPUT=FILE.gz -P Gzip.cmake
find_program(GZIP gzip REQUIRED)
execute_process(COMMAND ${GZIP} -9n -c INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.part RESULT_VARIABLE result)
if(result)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "gzip ${INPUT}: ${result}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
