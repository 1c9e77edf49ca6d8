# Install rules and the Debian packages: the library with its header, the
# pkg-config file and the CMake package, the huecl tool and the printer
# driver's CUPS filter and PPD. Paths follow GNUInstallDirs; every rule
# honours CMAKE_INSTALL_PREFIX and DESTDIR.
#
# Every rule belongs to one component, and each component is one Debian
# package, split as Debian splits a library:
#   library      libhuecl32-0          the shared library
#   development  libhuecl32-dev        header, .so link, pkg-config file, CMake package
#   tools        huecl-tools           the huecl command and its manual page
#   driver       printer-driver-huecl  the CUPS filter, its manual page, the PPD
#   printer-app  huecl-printer-app     the printer application, where app/ builds it
# `cmake --install BUILD --component NAME` installs one of them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
# Folders an install makes are 755 whatever the umask, as every file has a
# mode of its own: the packages must not depend on who builds them.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

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

# ---- Debian's files of each package -------------------------------------------
# cmake/install/debian/ holds what Debian wants in every package besides the
# programs: the copyright file, the changelog (whose newest entry gives the
# packages their version, VERSION-REVISION, and their time, below) and the
# lintian overrides of a package (PACKAGE.lintian-overrides). They install
# only into the packages (EXCLUDE_FROM_ALL), not with a plain install.
set(HUECL_DEBIAN_DIR ${CMAKE_SOURCE_DIR}/cmake/install/debian)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${HUECL_DEBIAN_DIR}/changelog)
file(STRINGS ${HUECL_DEBIAN_DIR}/changelog huecl_changelog_top LIMIT_COUNT 1)
if(NOT huecl_changelog_top MATCHES "^huecl \\(([0-9.]+)-([0-9A-Za-z.+~]+)\\) ")
  message(FATAL_ERROR "cmake/install/debian/changelog does not begin with an entry 'huecl (VERSION-REVISION) ...'")
endif()
set(HUECL_DEBIAN_REVISION ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(WARNING "The newest entry of cmake/install/debian/changelog is for ${CMAKE_MATCH_1}, "
                  "the project is ${PROJECT_VERSION}: the packages need an entry of their own")
endif()
file(STRINGS ${HUECL_DEBIAN_DIR}/changelog huecl_changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
set(HUECL_DEBIAN_VERSION ${PROJECT_VERSION}-${HUECL_DEBIAN_REVISION})
set(huecl_debian_changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
if(NOT WIN32)
  add_custom_command(OUTPUT ${huecl_debian_changelog}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${HUECL_DEBIAN_DIR}/changelog -DOUTPUT=${huecl_debian_changelog}
            -P ${CMAKE_SOURCE_DIR}/cmake/install/Gzip.cmake
    DEPENDS ${HUECL_DEBIAN_DIR}/changelog ${CMAKE_SOURCE_DIR}/cmake/install/Gzip.cmake
    COMMENT "Compressing the Debian changelog")
  add_custom_target(huecl_debian_changelog ALL DEPENDS ${huecl_debian_changelog})
endif()

# Declares the Debian package of one component, and installs Debian's files
# into it: copyright, changelog and lintian overrides.
#   huecl_debian_package(COMPONENT PACKAGE SECTION SECTION
#                        [DEPENDS relation...] [RECOMMENDS relation...] [SHLIBS]
#                        DESCRIPTION summary line...)
# DEPENDS adds to what dpkg-shlibdeps finds; SHLIBS gives the package the
# shlibs file and ldconfig trigger of a shared library. The description's
# first line is the synopsis; an empty line separates paragraphs.
set(CPACK_COMPONENTS_ALL "")
function(huecl_debian_package component package)
  cmake_parse_arguments(PARSE_ARGV 2 arg "SHLIBS" "SECTION" "DEPENDS;RECOMMENDS;DESCRIPTION")
  if(WIN32)
    return()
  endif()
  string(TOUPPER ${component} name)
  set(CPACK_COMPONENTS_ALL ${CPACK_COMPONENTS_ALL} ${component} PARENT_SCOPE)
  set(CPACK_DEBIAN_${name}_PACKAGE_NAME ${package} PARENT_SCOPE)
  set(CPACK_DEBIAN_${name}_PACKAGE_SECTION ${arg_SECTION} PARENT_SCOPE)
  list(JOIN arg_DEPENDS ", " depends)
  set(CPACK_DEBIAN_${name}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  list(JOIN arg_RECOMMENDS ", " recommends)
  set(CPACK_DEBIAN_${name}_PACKAGE_RECOMMENDS "${recommends}" PARENT_SCOPE)
  # Before the split, one package named huecl held everything.
  set(CPACK_DEBIAN_${name}_PACKAGE_BREAKS "huecl (<< 0.1.0-1)" PARENT_SCOPE)
  set(CPACK_DEBIAN_${name}_PACKAGE_REPLACES "huecl (<< 0.1.0-1)" PARENT_SCOPE)
  set_property(GLOBAL APPEND PROPERTY HUECL_DEBIAN_PACKAGES "${component} ${package}")
  list(JOIN arg_DESCRIPTION "\n" description)
  set(CPACK_DEBIAN_${name}_DESCRIPTION "${description}" PARENT_SCOPE)
  if(arg_SHLIBS)
    set(CPACK_DEBIAN_${name}_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/install/triggers PARENT_SCOPE)
  endif()
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${package})
  install(FILES ${HUECL_DEBIAN_DIR}/copyright ${huecl_debian_changelog} DESTINATION ${doc}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(EXISTS ${HUECL_DEBIAN_DIR}/${package}.lintian-overrides)
    install(FILES ${HUECL_DEBIAN_DIR}/${package}.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endfunction()

set(huecl_about_library
    "huecl is the colour-processing and compression library of a colour printer"
    "driver. It adjusts RGB rows, matches them to CMYK through colour tables,"
    "halftones them into colorant planes and compresses the planes with LZS.")
set(huecl_library_package libhuecl32-${PROJECT_VERSION_MAJOR})
set(huecl_needs_library "${huecl_library_package} (>= ${HUECL_DEBIAN_VERSION})")
huecl_debian_package(library ${huecl_library_package} SECTION libs SHLIBS
  DESCRIPTION "colour processing and LZS compression for printer drivers"
              ${huecl_about_library} "" "This package holds the shared library.")
huecl_debian_package(development libhuecl32-dev SECTION libdevel
  DEPENDS "${huecl_library_package} (= ${HUECL_DEBIAN_VERSION})"
  DESCRIPTION "colour processing and LZS compression for printer drivers (development)"
              ${huecl_about_library} ""
              "This package holds what programs that use the library are built with:"
              "the C header, the link to the library, the pkg-config file and the"
              "CMake package.")

# On Windows the DLL goes to bin and its import library to lib. The
# library's file and its SONAME link are the library's; the link that the
# linker reads (libhuecl32.so) is for development.
install(TARGETS huecl32 EXPORT huecl32Targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
if(TARGET huebr32)
  install(TARGETS huebr32
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/include/huecl32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

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
  configure_file(\"${CMAKE_BINARY_DIR}/huecl32.pc.in\" \"${CMAKE_BINARY_DIR}/install-pc/huecl32.pc\" @ONLY)"
  COMPONENT development)
install(FILES ${CMAKE_BINARY_DIR}/install-pc/huecl32.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# CMake package: find_package(huecl32) gives the imported target huecl32::huecl32.
install(EXPORT huecl32Targets NAMESPACE huecl32:: DESTINATION ${HUECL_CMAKE_PACKAGE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/install/huecl32Config.cmake.in
                              ${CMAKE_BINARY_DIR}/huecl32Config.cmake
                              INSTALL_DESTINATION ${HUECL_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/huecl32ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/huecl32Config.cmake ${CMAKE_BINARY_DIR}/huecl32ConfigVersion.cmake
        DESTINATION ${HUECL_CMAKE_PACKAGE_DIR} COMPONENT development)

# Manual pages install compressed as Debian keeps them: gzip -9n, which
# writes neither name nor time, so that the same page gives the same bytes.
#   huecl_install_manual_page(PAGE COMPONENT) with PAGE NAME.SECTION, a
#   source file or one the build makes (a custom command's output)
function(huecl_install_manual_page page component)
  get_filename_component(name ${page} NAME)
  string(REGEX MATCH "[1-9]$" section "${name}")
  if(NOT section)
    message(FATAL_ERROR "${page}: a manual page's name ends in its section")
  endif()
  set(compressed ${CMAKE_BINARY_DIR}/man/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${page} -DOUTPUT=${compressed} -P ${CMAKE_SOURCE_DIR}/cmake/install/Gzip.cmake
    DEPENDS ${page} ${CMAKE_SOURCE_DIR}/cmake/install/Gzip.cmake
    COMMENT "Compressing the manual page ${name}")
  string(MAKE_C_IDENTIFIER "${name}" target)
  add_custom_target(huecl_manual_page_${target} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

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
  install(TARGETS huecl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  huecl_install_run_path(huecl ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  # Its manual page, from its own --help and the help of each command.
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/huecl.1
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:huecl> -DOUTPUT=${CMAKE_BINARY_DIR}/huecl.1
            -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/cmake/install/HelpToMan.cmake
    DEPENDS huecl ${CMAKE_SOURCE_DIR}/cmake/install/HelpToMan.cmake
    COMMENT "Manual page of huecl from its help")
  huecl_install_manual_page(${CMAKE_BINARY_DIR}/huecl.1 tools)
  huecl_debian_package(tools huecl-tools SECTION graphics DEPENDS "${huecl_needs_library}"
    DESCRIPTION "command-line tool of the huecl colour printing library"
                "huecl prints images (PNG, JPEG, TIFF, PPM) or a built-in test page"
                "through the colour pipeline of the huecl library into compressed"
                "raster files, decodes such files back into planes and previews,"
                "compresses files with LZS and draws the halftone screens.")
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
  install(TARGETS ${filter_target} RUNTIME DESTINATION ${HUECL_CUPS_FILTER_DIR} COMPONENT driver)
  huecl_install_run_path(${filter_target} ${HUECL_CUPS_FILTER_DIR} COMPONENT driver)
  if(ARGN)
    install(FILES ${ARGN} DESTINATION ${HUECL_CUPS_MODEL_DIR} COMPONENT driver)
  endif()
endfunction()
# The driver's filter, where it is built (tools/cups/), with its manual
# page.
if(TARGET rastertohuecl)
  # ppdc compiles the PPD from tools/cups/huecl.drv into the build folder.
  huecl_install_cups_driver(rastertohuecl ${CMAKE_BINARY_DIR}/ppd/huecl.ppd)
  huecl_install_manual_page(${CMAKE_SOURCE_DIR}/tools/cups/rastertohuecl.7 driver)
  huecl_debian_package(driver printer-driver-huecl SECTION text
    DEPENDS "${huecl_needs_library}" cups-filters RECOMMENDS libgs-common
    DESCRIPTION "CUPS printer driver of the huecl colour printer"
                "The CUPS filter rastertohuecl and the PPD file huecl.ppd. The filter"
                "prints every page of a job through the colour pipeline of the huecl"
                "library (colour matching, halftoning, LZS compression) and writes a"
                "compressed raster container per page for the printer.")
endif()

# ---- The printer application -------------------------------------------------
# Where app/ builds huecl-printer-app: the program, its manual page and its
# systemd unit, all in the printer-app component (the huecl-printer-app
# package, below). app/ names the page and the unit through the target's
# properties HUECL_MANUAL_PAGE (a file NAME.SECTION) and HUECL_SYSTEMD_UNIT.
if(TARGET huecl-printer-app)
  install(TARGETS huecl-printer-app RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT printer-app)
  huecl_install_run_path(huecl-printer-app ${CMAKE_INSTALL_BINDIR} COMPONENT printer-app)
  get_target_property(page huecl-printer-app HUECL_MANUAL_PAGE)
  if(page)
    huecl_install_manual_page(${page} printer-app)
  endif()
  get_target_property(unit huecl-printer-app HUECL_SYSTEMD_UNIT)
  if(unit)
    install(FILES ${unit} DESTINATION lib/systemd/system COMPONENT printer-app)
  endif()
  huecl_debian_package(printer-app huecl-printer-app SECTION net DEPENDS "${huecl_needs_library}"
    RECOMMENDS ghostscript
    DESCRIPTION "printer application of the huecl colour printer"
                "huecl-printer-app offers the huecl colour printer to the network as"
                "an IPP printer of its own, printing through the huecl library's"
                "colour pipeline.")
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

# ---- The Debian packages ---------------------------------------------------
# `cpack -G DEB` in the build folder makes one package per component (see
# the top), each holding what `cmake --install --component` installs, at
# HUECL_PACKAGE_PREFIX. The packages go where the build installs, except
# that /usr/local belongs to the machine's administrator, not to packages:
# dpkg would even remove the administrator's empty /usr/local/include when
# purging. So a build for /usr/local is packaged for /usr (configure with
# -DCMAKE_INSTALL_PREFIX=/usr for the multiarch libdir).
if(NOT WIN32)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(huecl_package_prefix /usr)
  else()
    set(huecl_package_prefix ${CMAKE_INSTALL_PREFIX})
  endif()
  set(HUECL_PACKAGE_PREFIX ${huecl_package_prefix} CACHE PATH "Where the Debian packages install")
  set(CPACK_PACKAGE_NAME huecl)
  set(CPACK_PACKAGE_VENDOR "huecl developers")
  set(CPACK_PACKAGE_CONTACT "huecl developers <huecl@huecl.invalid>")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${HUECL_DEBIAN_REVISION})
  set(CPACK_DEBIAN_PACKAGE_SOURCE huecl)
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX ${HUECL_PACKAGE_PREFIX})
  set(CPACK_PACKAGING_INSTALL_PREFIX ${HUECL_PACKAGE_PREFIX})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|i.86")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)  # a -m32 build on a 64-bit host
  endif()
  # Control files with the modes Debian's policy gives them.
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Dependencies from dpkg-shlibdeps, besides each package's own. The
  # library is found in the build folder, where no package tells its
  # shlibs; so the packages that use it name it themselves.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")  # same SONAME, same ABI
  # Debian ships programs and libraries without their symbol tables.
  set(CPACK_STRIP_FILES ON)
  # The packages' files and archives take the time of the newest changelog
  # entry, as dpkg-buildpackage gives them, unless SOURCE_DATE_EPOCH is set
  # already: so two builds of one commit give the same bytes. cpack reads
  # the file below before it packs.
  execute_process(COMMAND dpkg-parsechangelog -l ${HUECL_DEBIAN_DIR}/changelog -S Timestamp
                  OUTPUT_VARIABLE HUECL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT HUECL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    string(REGEX REPLACE ".*>  " "" changelog_date "${huecl_changelog_trailer}")
    execute_process(COMMAND date -d "${changelog_date}" +%s
                    OUTPUT_VARIABLE HUECL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT HUECL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "no time in the newest entry of cmake/install/debian/changelog")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/cmake/install/CPackProject.cmake.in ${CMAKE_BINARY_DIR}/CPackProject.cmake @ONLY)
  set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProject.cmake)
  # Which component makes which package, for the package tests.
  get_property(huecl_package_list GLOBAL PROPERTY HUECL_DEBIAN_PACKAGES)
  list(JOIN huecl_package_list "\n" huecl_package_list)
  file(WRITE ${CMAKE_BINARY_DIR}/debian/packages.txt "${huecl_package_list}\n")
  include(CPack)

  option(HUECL_TEST_PACKAGE "Test the Debian packages (cpack, dpkg-deb and lintian)" OFF)
  if(HUECL_BUILD_TESTS AND HUECL_TEST_PACKAGE AND TARGET rastertohuecl)
    # The packages are built as README.md tells a packager to, with the
    # `package` preset (for /usr, no tests), in a build folder of their own
    # inside this one; the tests below check them.
    set(huecl_package_build ${CMAKE_BINARY_DIR}/package-build)
    set(huecl_packages ${CMAKE_BINARY_DIR}/package-test)
    add_test(NAME debian_package_build
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/build_packages.sh ${CMAKE_SOURCE_DIR}
                     ${huecl_package_build} ${huecl_packages})
    set_tests_properties(debian_package_build PROPERTIES TIMEOUT 1200 FIXTURES_SETUP huecl_debian_packages)
    add_test(NAME debian_package
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/package_test.sh ${huecl_package_build} ${huecl_packages}
                     ${HUECL_DEBIAN_VERSION} ${CMAKE_SOURCE_DIR})
    add_test(NAME debian_package_lintian
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/lintian_test.sh ${huecl_packages} ${HUECL_DEBIAN_DIR})
    # Installed with dpkg and removed again, with the driver offered by a
    # scheduler in between: as root only (skipped otherwise), in a private
    # mount namespace (see the script).
    add_test(NAME debian_package_install
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/system_install_test.sh ${huecl_packages}
                     ${CMAKE_SOURCE_DIR}/tools/cups/tests/test_page.ps ${CMAKE_SOURCE_DIR}/tests/install/consumer.c)
    # A second build of the same sources, elsewhere and later, gives the
    # same bytes.
    add_test(NAME debian_package_reproducible
             COMMAND ${CMAKE_SOURCE_DIR}/tests/install/reproducible_test.sh ${CMAKE_SOURCE_DIR} ${huecl_packages})
    set_tests_properties(debian_package debian_package_lintian debian_package_install debian_package_reproducible
                         PROPERTIES FIXTURES_REQUIRED huecl_debian_packages TIMEOUT 300)
    set_tests_properties(debian_package_install PROPERTIES SKIP_RETURN_CODE 77)
    set_tests_properties(debian_package_reproducible PROPERTIES TIMEOUT 1200)
  endif()
endif()
