# glottaConfig.cmake - the installed glotta engine for find_package(glotta):
# the imported target glotta::glotta (the shared library libglotta.so.5 and
# the header <glotta/lang_api.h>). The installation may be moved as a whole.
get_filename_component(_glotta_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET glotta::glotta)
  add_library(glotta::glotta SHARED IMPORTED)
  set_target_properties(glotta::glotta PROPERTIES
    IMPORTED_LOCATION "${_glotta_prefix}/lib/libglotta.so.5"
    IMPORTED_SONAME "libglotta.so.5"
    INTERFACE_INCLUDE_DIRECTORIES "${_glotta_prefix}/include")
endif()
set(glotta_FOUND TRUE)
unset(_glotta_prefix)
