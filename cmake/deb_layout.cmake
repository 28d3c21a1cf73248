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
