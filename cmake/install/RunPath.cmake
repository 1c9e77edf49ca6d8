# Included when installing, after a program is installed: removes its run
# path where the library lands in a folder the loader searches anyway, as
# under /usr. Set before including it:
#   HUECL_RUN_PATH_FILE     the installed program (without DESTDIR)
#   HUECL_RUN_PATH_LIBDIR   the folder the library installs to
#   HUECL_LOADER_FOLDERS    the folders the loader searches
cmake_path(SET huecl_libdir NORMALIZE "${HUECL_RUN_PATH_LIBDIR}")
string(REGEX REPLACE "(.)/$" "\\1" huecl_libdir "${huecl_libdir}")
list(FIND HUECL_LOADER_FOLDERS "${huecl_libdir}" huecl_at) # runs without the project's policies
if(NOT huecl_at EQUAL -1)
  file(RPATH_REMOVE FILE "$ENV{DESTDIR}${HUECL_RUN_PATH_FILE}")
endif()
