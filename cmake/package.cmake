# The Debian package: `cpack -G DEB` in a build tree writes
# glotta_<version>_<arch>.deb. The installation tree goes to /usr/lib/glotta
# as it is (the tool, the launcher and glotta-scan find their plug-ins and
# data relative to themselves); cmake/deb_layout.cmake then puts what the
# system looks for in its usual places: commands in /usr/bin, manual pages,
# the completion, and the SDK (header, library, pkg-config and CMake files,
# Python package) when the build installs one.

set(CPACK_PACKAGE_NAME glotta)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "glotta")
set(CPACK_PACKAGE_CONTACT "glotta developers <glotta@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "language and charset identification of documents")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "glotta tells the natural language and the character set of documents:\n plain text in any charset, HTML/SGML/XML, office documents and PDF\n files. glotta-scan writes one line per document on all cores.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr/lib/glotta)

# Depends: the Debian packages of the libraries that the executables and
# plug-ins link or open at run time (dlopen: libmagic, ICU), found where the
# build found them. dpkg-shlibdeps would find the linked ones too, but takes
# a minute over the whole tree.
set(glotta_runtime_libraries magic icuuc poppler-glib gio-2.0 gobject-2.0 glib-2.0 zip xml2
                             gsf-1 z bz2 lzma zstd lz4 wpd-0.10 revenge-0.0 etonyek-0.1 wps-0.4 visio-0.1
                             mspub-0.1 mwaw-0.3 staroffice-0.0 qxp-0.0 zmf-0.0
                             revenge-stream-0.0 revenge-generators-0.0 djvulibre gs
                             stdc++ gcc_s)
set(glotta_runtime_depends libc6)
find_program(GLOTTA_DPKG_QUERY dpkg-query)
foreach(library ${glotta_runtime_libraries})
  if(NOT GLOTTA_DPKG_QUERY)
    break()
  endif()
  # With a merged /usr, dpkg knows each file under one of its two names.
  file(GLOB found /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/lib${library}.so.[0-9]*
                  /lib/${CMAKE_LIBRARY_ARCHITECTURE}/lib${library}.so.[0-9]*)
  foreach(file ${found})
    execute_process(COMMAND ${GLOTTA_DPKG_QUERY} -S ${file} OUTPUT_VARIABLE owner
                    ERROR_QUIET RESULT_VARIABLE failed)
    if(NOT failed AND owner MATCHES "^([^:, ]+)")
      list(APPEND glotta_runtime_depends ${CMAKE_MATCH_1})
      break()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES glotta_runtime_depends)
list(JOIN glotta_runtime_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3)

set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb_layout.cmake)
# deb_layout.cmake puts the SDK's library in the multiarch directory.
set(CPACK_LIBRARY_ARCHITECTURE ${CMAKE_LIBRARY_ARCHITECTURE})
include(CPack)
