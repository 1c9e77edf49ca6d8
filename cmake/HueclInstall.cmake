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

# An installed program finds the library through its run path, relative to
# where it lies (`$ORIGIN/../lib` for the tool), under any prefix. The
# prefix of the install decides whether it stays: where the library lands
# in a folder the loader searches anyway (a package for /usr), the run path
# goes again.
set(huecl_loader_folders ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
list(REMOVE_DUPLICATES huecl_loader_folders)
function(huecl_install_run_path target destination)
  if(WIN32)
    return()
  endif()
  # Both folders as under the configured prefix: where either is relative,
  # the relation holds under any prefix.
  foreach(folder destination CMAKE_INSTALL_LIBDIR)
    if(IS_ABSOLUTE "${${folder}}")
      set(${folder}_full "${${folder}}")
    else()
      set(${folder}_full "${CMAKE_INSTALL_PREFIX}/${${folder}}")
    endif()
  endforeach()
  file(RELATIVE_PATH to_lib ${destination_full} ${CMAKE_INSTALL_LIBDIR_full})
  string(REGEX REPLACE "/$" "" to_lib "${to_lib}")
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_lib}")
  set(file "${destination}/$<TARGET_FILE_NAME:${target}>")
  if(NOT IS_ABSOLUTE "${destination}")
    set(file "\${CMAKE_INSTALL_PREFIX}/${file}")
  endif()
  set(libdir "${CMAKE_INSTALL_LIBDIR}")
  if(NOT IS_ABSOLUTE "${libdir}")
    set(libdir "\${CMAKE_INSTALL_PREFIX}/${libdir}")
  endif()
  install(CODE "set(HUECL_RUN_PATH_FILE \"${file}\")
    set(HUECL_RUN_PATH_LIBDIR \"${libdir}\")
    set(HUECL_LOADER_FOLDERS [[${huecl_loader_folders}]])
    include(\"${CMAKE_SOURCE_DIR}/cmake/install/RunPath.cmake\")" ${ARGN})
endfunction()

# The tool, which finds the library from its bin folder.
if(TARGET huecl)
  install(TARGETS huecl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  huecl_install_run_path(huecl ${CMAKE_INSTALL_BINDIR})
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
# CUPS looks for filters in <server-bin>/filter and for PPDs in
# <data-dir>/model, the folders cups-config names (/usr/lib/cups and
# /usr/share/cups on Debian). The driver goes there only under the system's
# prefix, the one those folders lie under (/usr): a user installing into
# ~/opt or a staging folder must not replace the system's driver. Under any
# other prefix it goes to the prefix's own lib/cups/filter and
# share/cups/model. Both folders are kept relative to the prefix, so the
# prefix of the install itself decides, `cmake --install --prefix` included.
# -DHUECL_CUPS_SERVERBIN=DIR and -DHUECL_CUPS_DATADIR=DIR (absolute, such as
# cups-config's own) install the filter and the PPD there whatever the
# prefix; DESTDIR still applies.
set(HUECL_CUPS_SERVERBIN "" CACHE PATH "Where the CUPS filter installs (DIR/filter), whatever the prefix; empty: by the prefix")
set(HUECL_CUPS_DATADIR "" CACHE PATH "Where the PPD installs (DIR/model), whatever the prefix; empty: by the prefix")
unset(HUECL_CUPS_FILTER_DIR CACHE) # absolute folders of earlier configurations
unset(HUECL_CUPS_MODEL_DIR CACHE)
# Under the system's prefix the folders are cups-config's; the same
# relative folders serve every other prefix.
find_program(HUECL_CUPS_CONFIG cups-config)
set(huecl_cups_serverbin_rel lib/cups)
set(huecl_cups_datadir_rel share/cups)
if(HUECL_CUPS_CONFIG)
  execute_process(COMMAND ${HUECL_CUPS_CONFIG} --serverbin OUTPUT_VARIABLE system_serverbin
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${HUECL_CUPS_CONFIG} --datadir OUTPUT_VARIABLE system_datadir
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The system's prefix: the deepest folder that holds both.
  set(system_prefix ${system_serverbin})
  while(system_prefix MATCHES "^/." AND NOT system_datadir MATCHES "^${system_prefix}/")
    get_filename_component(system_prefix ${system_prefix} DIRECTORY)
  endwhile()
  if(system_prefix MATCHES "^/.")
    file(RELATIVE_PATH huecl_cups_serverbin_rel ${system_prefix} ${system_serverbin})
    file(RELATIVE_PATH huecl_cups_datadir_rel ${system_prefix} ${system_datadir})
  endif()
endif()
if(HUECL_CUPS_SERVERBIN)
  set(HUECL_CUPS_FILTER_DIR ${HUECL_CUPS_SERVERBIN}/filter)
else()
  set(HUECL_CUPS_FILTER_DIR ${huecl_cups_serverbin_rel}/filter)
endif()
if(HUECL_CUPS_DATADIR)
  set(HUECL_CUPS_MODEL_DIR ${HUECL_CUPS_DATADIR}/model)
else()
  set(HUECL_CUPS_MODEL_DIR ${huecl_cups_datadir_rel}/model)
endif()
foreach(folder HUECL_CUPS_FILTER_DIR HUECL_CUPS_MODEL_DIR)
  if(NOT IS_ABSOLUTE "${${folder}}" AND ${folder} MATCHES "^\\.\\.")
    message(FATAL_ERROR "${folder} ${${folder}} leaves the install prefix")
  endif()
endforeach()

# Installs a CUPS filter target and its PPD files into the driver's folders.
function(huecl_install_cups_driver filter_target)
  install(TARGETS ${filter_target} RUNTIME DESTINATION ${HUECL_CUPS_FILTER_DIR})
  huecl_install_run_path(${filter_target} ${HUECL_CUPS_FILTER_DIR})
  if(ARGN)
    install(FILES ${ARGN} DESTINATION ${HUECL_CUPS_MODEL_DIR})
  endif()
endfunction()
# The driver's filter, where it is built (tools/cups/).
if(TARGET rastertohuecl)
  # ppdc compiles the PPD from tools/cups/huecl.drv into the build folder.
  huecl_install_cups_driver(rastertohuecl ${CMAKE_BINARY_DIR}/ppd/huecl.ppd)
endif()

# `cmake --build BUILD --target uninstall` (with the DESTDIR of the install)
# removes what the last install of this build put.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/install/Uninstall.cmake
  COMMENT "Removing what was installed" VERBATIM)

# ---- Tests of the installed tree ---------------------------------------------
if(HUECL_BUILD_TESTS AND NOT CMAKE_CROSSCOMPILING)
  set(huecl_driver_folders "")
  if(TARGET rastertohuecl)
    set(huecl_driver_folders ${HUECL_CUPS_FILTER_DIR} ${HUECL_CUPS_MODEL_DIR})
  endif()
  add_test(NAME install_tree
           COMMAND ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh
                   ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_LIBDIR}
                   ${CMAKE_INSTALL_BINDIR} ${CMAKE_SOURCE_DIR}/tests/install "$<TARGET_EXISTS:huecl>"
                   ${huecl_driver_folders})
  # An install into a prefix of its own, without DESTDIR, writes nothing
  # outside it; the system's CUPS folders stay as they were.
  add_test(NAME install_prefix_only
           COMMAND ${CMAKE_SOURCE_DIR}/tests/install/prefix_install_test.sh
                   ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_LIBDIR} ${CMAKE_INSTALL_BINDIR} ${huecl_driver_folders})
  # Every install rewrites the build's install_manifest.txt.
  set_tests_properties(install_tree install_prefix_only PROPERTIES TIMEOUT 300 RESOURCE_LOCK huecl_install_manifest
    ENVIRONMENT "CC=${CMAKE_C_COMPILER};CFLAGS=${CMAKE_C_FLAGS};LDFLAGS=${CMAKE_EXE_LINKER_FLAGS};HUECL_VERSION=${PROJECT_VERSION}")
  set_tests_properties(install_prefix_only PROPERTIES SKIP_RETURN_CODE 77)
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
      "The huecl32 library (shared library, C header, pkg-config file and CMake package), the huecl command-line tool and the printer driver's CUPS filter and PPD.")
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
