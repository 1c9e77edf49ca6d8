# Builds whose output does not depend on where or when they run, so that
# two builds of one commit give byte-identical packages:
# - Programs in the build folder find the library through a run path
#   relative to themselves ($ORIGIN), not through the build folder's name.
#   Installing rewrites that run path in place, and the room it took stays
#   in the file, so an absolute one would leave the folder's length, if
#   not its name, in every installed program.
# - Release builds name the source and build folders "." wherever the
#   compiler writes a file's path (__FILE__, debug information), as
#   Debian's own builds do. Builds with debug information for developers
#   (RelWithDebInfo, Debug) keep the full paths for their debuggers.
# - The packages take their time from the newest Debian changelog entry
#   (SOURCE_DATE_EPOCH, see HueclInstall.cmake); gzip runs with -n.
set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)

include(CheckCCompilerFlag)
check_c_compiler_flag(-ffile-prefix-map=/a=. HUECL_HAVE_FILE_PREFIX_MAP)
if(HUECL_HAVE_FILE_PREFIX_MAP)
  # The later map wins where both match: the build folder may lie inside
  # the source folder.
  add_compile_options("$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
                      "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>")
endif()
