# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged installation of the
# Debian package: the tree stays in /usr/lib/glotta, and what the system
# looks for elsewhere is put there, as relative symbolic links into the tree
# where the tree must keep its own copy (its parts find each other relative
# to themselves), moved otherwise.

set(root ${CPACK_TEMPORARY_DIRECTORY})
set(tree ${root}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT IS_DIRECTORY ${tree}/bin)
  message(FATAL_ERROR "deb_layout: no installation in ${tree}")
endif()

# link(<path below root> <target relative to the link's directory>)
function(link path target)
  get_filename_component(dir ${root}/${path} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${target} ${root}/${path} SYMBOLIC)
endfunction()

# The commands: the launcher of glotta and glotta-scan both find the tree
# from their own resolved location.
foreach(command glotta glotta-scan)
  if(EXISTS ${tree}/bin/${command})
    link(usr/bin/${command} ../lib/glotta/bin/${command})
  endif()
endforeach()

# Manual pages and the completion are only read, never looked up relative to
# the tree: they move.
file(GLOB pages ${tree}/share/man/man1/*.1)
foreach(page ${pages})
  get_filename_component(name ${page} NAME)
  file(MAKE_DIRECTORY ${root}/usr/share/man/man1)
  file(RENAME ${page} ${root}/usr/share/man/man1/${name})
endforeach()
if(EXISTS ${tree}/share/bash-completion/completions/glotta-scan)
  file(MAKE_DIRECTORY ${root}/usr/share/bash-completion/completions)
  file(RENAME ${tree}/share/bash-completion/completions/glotta-scan
       ${root}/usr/share/bash-completion/completions/glotta-scan)
endif()
file(REMOVE_RECURSE ${tree}/share)

# The SDK, when the build installs one. The library resolves its own path to
# find the installation, so links serve; pkg-config reads glotta.pc whose
# prefix is the tree; CMake's package file derives the prefix from its own
# directory, so the system-wide one includes the tree's.
if(CPACK_LIBRARY_ARCHITECTURE)
  set(libdir usr/lib/${CPACK_LIBRARY_ARCHITECTURE})
  set(up ../..)
else()
  set(libdir usr/lib)
  set(up ..)
endif()
if(IS_DIRECTORY ${tree}/include/glotta)
  link(usr/include/glotta ../lib/glotta/include/glotta)
endif()
file(GLOB libraries RELATIVE ${tree}/lib ${tree}/lib/libglotta.so*)
foreach(library ${libraries})
  link(${libdir}/${library} ${up}/lib/glotta/lib/${library})
endforeach()
if(EXISTS ${tree}/lib/pkgconfig/glotta.pc)
  link(${libdir}/pkgconfig/glotta.pc ${up}/../lib/glotta/lib/pkgconfig/glotta.pc)
endif()
file(GLOB cmake_files RELATIVE ${tree}/lib/cmake/glotta ${tree}/lib/cmake/glotta/*.cmake)
foreach(name ${cmake_files})
  file(WRITE ${root}/${libdir}/cmake/glotta/${name}
       "include(\"${CPACK_PACKAGING_INSTALL_PREFIX}/lib/cmake/glotta/${name}\")\n")
endforeach()
if(IS_DIRECTORY ${tree}/lib/python3/dist-packages/glotta)
  link(usr/lib/python3/dist-packages/glotta ../../glotta/lib/python3/dist-packages/glotta)
endif()
