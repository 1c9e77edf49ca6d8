# Installs the Windows build into a fresh folder and checks that the DLL
# lands in bin and its import library, whose symbols carry the stdcall
# decoration callers link against, in lib.
#   cmake -DBUILD_DIR=... -DSTAGE=... -DNM=... -P CheckWindowsInstall.cmake
file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  message(FATAL_ERROR "cmake --install failed")
endif()
set(expected bin/HUECL32.dll lib/libHUECL32.dll.a include/huecl32.h lib/pkgconfig/huecl32.pc
    lib/cmake/huecl32/huecl32Config.cmake lib/cmake/huecl32/huecl32Targets.cmake)
if(HAS_BRIDGE)
  list(APPEND expected bin/HUEBR32.dll)
endif()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${STAGE}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${NM} ${STAGE}/lib/libHUECL32.dll.a OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(result OR NOT symbols MATCHES "T _QvrColDnsMak@8\n" OR NOT symbols MATCHES "T _LZS_Compress\n")
  message(FATAL_ERROR "the installed import library lacks the decorated exports")
endif()
file(REMOVE_RECURSE ${STAGE})
