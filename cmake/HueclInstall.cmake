# Install rules and the Debian package: the library with its header, the
# pkg-config file and the CMake package, the huecl tool and the printer
# driver's CUPS filter and PPD. Paths follow GNUInstallDirs; every rule
# honours CMAKE_INSTALL_PREFIX and DESTDIR.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The ELF library carries its ABI number in its SONAME (libhuecl32.so.0).
# README.md says what counts as an ABI change; such a change raises the
# project's major version and with it the SONAME and the CMake package's
# compatibility.
if(NOT WIN32)
  set_target_properties(huecl32 PROPERTIES VERSION ${PROJECT_VERSION}
                        SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
target_include_directories(huecl32 INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

set(HUECL_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/huecl32)

# On Windows the DLL goes to bin and its import library to lib.
install(TARGETS huecl32 EXPORT huecl32Targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET huebr32)
  install(TARGETS huebr32
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/include/huecl32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# pkg-config: absolute paths, so that PKG_CONFIG_SYSROOT_DIR works on a
# staged tree.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(HUECL_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(HUECL_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(HUECL_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(HUECL_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
# Its prefix is the one of the install, which `cmake --install --prefix`
# and cpack may choose after configuring; so it is written when installing.
set(HUECL_PC_PREFIX @HUECL_PC_PREFIX@) # kept for the second pass
configure_file(${CMAKE_SOURCE_DIR}/cmake/install/huecl32.pc.in ${CMAKE_BINARY_DIR}/huecl32.pc.in @ONLY)
install(CODE "set(HUECL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_BINARY_DIR}/huecl32.pc.in\" \"${CMAKE_BINARY_DIR}/install-pc/huecl32.pc\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/install-pc/huecl32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake package: find_package(huecl32) gives the imported target huecl32::huecl32.
install(EXPORT huecl32Targets NAMESPACE huecl32:: DESTINATION ${HUECL_CMAKE_PACKAGE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/install/huecl32Config.cmake.in
                              ${CMAKE_BINARY_DIR}/huecl32Config.cmake
                              INSTALL_DESTINATION ${HUECL_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/huecl32ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/huecl32Config.cmake ${CMAKE_BINARY_DIR}/huecl32ConfigVersion.cmake
        DESTINATION ${HUECL_CMAKE_PACKAGE_DIR})

# The tool. Outside the linker's own folders it finds the library next to
# its bin folder.
if(TARGET huecl)
  set(huecl_linker_folders ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  if(NOT WIN32 AND NOT "${CMAKE_INSTALL_FULL_LIBDIR}" IN_LIST huecl_linker_folders)
    file(RELATIVE_PATH huecl_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(huecl PROPERTIES INSTALL_RPATH "$ORIGIN/${huecl_bin_to_lib}")
  endif()
  install(TARGETS huecl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Its manual page, from its own --help and the help of each command.
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/huecl.1
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:huecl> -DOUTPUT=${CMAKE_BINARY_DIR}/huecl.1
            -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/install/HelpToMan.cmake
    DEPENDS huecl ${CMAKE_SOURCE_DIR}/cmake/install/HelpToMan.cmake
    COMMENT "Manual page of huecl from its help")
  add_custom_target(huecl_manual_page ALL DEPENDS ${CMAKE_BINARY_DIR}/huecl.1)
  install(FILES ${CMAKE_BINARY_DIR}/huecl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# ---- The printer driver ----------------------------------------------------
# CUPS looks for filters in <serverbin>/filter and for PPDs in
# <datadir>/model; both come from cups-config where it is installed. Under
# the install prefix they are kept relative to it (so that the Debian
# package places them), elsewhere absolute (DESTDIR still applies).
find_program(HUECL_CUPS_CONFIG cups-config)
set(huecl_cups_serverbin ${CMAKE_INSTALL_PREFIX}/lib/cups)
set(huecl_cups_datadir ${CMAKE_INSTALL_FULL_DATADIR}/cups)
if(HUECL_CUPS_CONFIG)
  execute_process(COMMAND ${HUECL_CUPS_CONFIG} --serverbin OUTPUT_VARIABLE huecl_cups_serverbin
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${HUECL_CUPS_CONFIG} --datadir OUTPUT_VARIABLE huecl_cups_datadir
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
foreach(kind filter model)
  if(kind STREQUAL filter)
    set(folder ${huecl_cups_serverbin}/filter)
  else()
    set(folder ${huecl_cups_datadir}/model)
  endif()
  string(FIND "${folder}" "${CMAKE_INSTALL_PREFIX}/" at)
  if(at EQUAL 0)
    file(RELATIVE_PATH folder ${CMAKE_INSTALL_PREFIX} ${folder})
  endif()
  string(TOUPPER ${kind} KIND)
  set(HUECL_CUPS_${KIND}_DIR ${folder} CACHE STRING "Where the CUPS ${kind} of the driver installs")
endforeach()

# Installs a CUPS filter target and its PPD files into CUPS's folders.
function(huecl_install_cups_driver filter_target)
  install(TARGETS ${filter_target} RUNTIME DESTINATION ${HUECL_CUPS_FILTER_DIR})
  if(ARGN)
    install(FILES ${ARGN} DESTINATION ${HUECL_CUPS_MODEL_DIR})
  endif()
endfunction()
# The driver's filter, where it is built (tools/cups/).
if(TARGET rastertohuecl)
  # ppdc compiles the PPD from tools/cups/huecl.drv into the build folder.
  huecl_install_cups_driver(rastertohuecl ${CMAKE_BINARY_DIR}/ppd/huecl.ppd)
endif()

# ---- The printer application ------------------------------------------------
# huecl-printer-app beside the tool, its manual page, and a systemd unit
# under the prefix (systemd reads /usr/lib and /usr/local/lib alike). The
# unit names the program at the prefix the install goes to, which cpack may
# choose after configuring; so it is written when installing. The service
# is not enabled: systemctl enable --now huecl-printer-app starts it.
if(TARGET huecl-printer-app)
  set(huecl_linker_folders ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
  if(NOT WIN32 AND NOT "${CMAKE_INSTALL_FULL_LIBDIR}" IN_LIST huecl_linker_folders)
    file(RELATIVE_PATH huecl_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(huecl-printer-app PROPERTIES INSTALL_RPATH "$ORIGIN/${huecl_bin_to_lib}")
  endif()
  install(TARGETS huecl-printer-app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${CMAKE_SOURCE_DIR}/app/install/huecl-printer-app.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(CODE "set(HUECL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${CMAKE_SOURCE_DIR}/app/install/huecl-printer-app.service.in\"
                   \"${CMAKE_BINARY_DIR}/install-unit/huecl-printer-app.service\" @ONLY)")
  install(FILES ${CMAKE_BINARY_DIR}/install-unit/huecl-printer-app.service DESTINATION lib/systemd/system)
endif()

# `cmake --build BUILD --target uninstall` (with the DESTDIR of the install)
# removes what the last install of this build put.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/install/Uninstall.cmake
  COMMENT "Removing what was installed" VERBATIM)

# ---- Tests of the installed tree ---------------------------------------------
if(HUECL_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME install_tree
           COMMAND ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh
                   ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_LIBDIR}
                   ${CMAKE_INSTALL_BINDIR} ${CMAKE_SOURCE_DIR}/tests/install "$<TARGET_EXISTS:huecl>")
  # Every install rewrites the build's install_manifest.txt.
  set_tests_properties(install_tree PROPERTIES TIMEOUT 300 RESOURCE_LOCK huecl_install_manifest
    ENVIRONMENT "CC=${CMAKE_C_COMPILER};CFLAGS=${CMAKE_C_FLAGS};LDFLAGS=${CMAKE_EXE_LINKER_FLAGS};HUECL_VERSION=${PROJECT_VERSION}")
endif()
if(HUECL_BUILD_TESTS AND WIN32)
  find_program(HUECL_MINGW_NM NAMES i686-w64-mingw32-nm REQUIRED)
  add_test(NAME install_tree
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE=${CMAKE_BINARY_DIR}/install-test
                   -DNM=${HUECL_MINGW_NM} -DHAS_BRIDGE=$<TARGET_EXISTS:huebr32>
                   -P ${CMAKE_SOURCE_DIR}/cmake/install/CheckWindowsInstall.cmake)
endif()

# ---- The Debian package ----------------------------------------------------
# `cpack -G DEB` in the build folder packs what `cmake --install` installs,
# at HUECL_PACKAGE_PREFIX; the CUPS folders are absolute, hence the DESTDIR
# install. The package goes where the build installs, except that
# /usr/local belongs to the machine's administrator, not to packages: dpkg
# would even remove the administrator's empty /usr/local/include when
# purging the package. So a build for /usr/local is packaged for /usr
# (configure with -DCMAKE_INSTALL_PREFIX=/usr for the multiarch libdir).
if(NOT WIN32)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(huecl_package_prefix /usr)
  else()
    set(huecl_package_prefix ${CMAKE_INSTALL_PREFIX})
  endif()
  set(HUECL_PACKAGE_PREFIX ${huecl_package_prefix} CACHE PATH "Where the Debian package installs")
  set(CPACK_PACKAGE_NAME huecl)
  set(CPACK_PACKAGE_VENDOR "huecl developers")
  set(CPACK_PACKAGE_CONTACT "huecl developers <huecl@localhost>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "colour processing and LZS compression of a colour printer driver")
  set(CPACK_PACKAGE_DESCRIPTION
      "The huecl32 library (shared library, C header, pkg-config file and CMake package), the huecl command-line tool, the printer driver's CUPS filter and PPD, and the printer application huecl-printer-app with its systemd unit.")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_GENERATOR DEB)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX ${HUECL_PACKAGE_PREFIX})
  set(CPACK_PACKAGING_INSTALL_PREFIX ${HUECL_PACKAGE_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|i.86")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)  # a -m32 build on a 64-bit host
  endif()
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # The printer application renders PDF and PostScript with Ghostscript.
  if(TARGET huecl-printer-app)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ghostscript)
  endif()
  # Dependencies from dpkg-shlibdeps; the package's own library is found in
  # the build folder.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")  # same SONAME, same ABI
  # ldconfig runs after the package installs or goes, for the new SONAME.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/install/triggers)
  include(CPack)

  option(HUECL_TEST_PACKAGE "Test the Debian package (cpack and dpkg-deb)" OFF)
  if(HUECL_BUILD_TESTS AND HUECL_TEST_PACKAGE)
    add_test(NAME debian_package
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/package_test.sh ${CMAKE_BINARY_DIR}
                     ${HUECL_PACKAGE_PREFIX} ${CMAKE_INSTALL_LIBDIR} ${PROJECT_VERSION}
                     "$<TARGET_EXISTS:rastertohuecl>")
    set_tests_properties(debian_package PROPERTIES TIMEOUT 300 RESOURCE_LOCK huecl_install_manifest
                         FIXTURES_SETUP huecl_debian_package)
    # The package installed with apt-get and removed again, with the
    # driver offered by a scheduler in between: as root only (skipped
    # otherwise), in a private mount namespace (see the script).
    if(TARGET rastertohuecl)
      add_test(NAME debian_package_install
               COMMAND ${CMAKE_SOURCE_DIR}/tests/install/system_install_test.sh
                       ${CMAKE_BINARY_DIR}/package-test
                       ${CMAKE_SOURCE_DIR}/tools/cups/tests/test_page.ps)
      set_tests_properties(debian_package_install PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
                           FIXTURES_REQUIRED huecl_debian_package)
    endif()
  endif()
endif()
