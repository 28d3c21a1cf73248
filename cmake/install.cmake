# Installation layout, relative to the prefix:
#   bin/glotta               launcher (tool/launcher.c): sets LD_LIBRARY_PATH, runs the tool
#   _linux/bin/glotta        the tool
#   _linux/bin/flt_dx.so     marker of the filter installation (never loaded)
#   _linux/filters/dxfilter.so, _linux/filters/dxutil.so   the plug-ins
#   bin/glotta-scan          one line per document; puts _linux/bin on LD_LIBRARY_PATH itself
#   share/man/man1/glotta.1, glotta-scan.1, share/bash-completion/completions/glotta-scan
#   common/glotta/           language data: langlist.cfg, langname.cfg, *.lm
# The engine finds the plug-ins through the marker on LD_LIBRARY_PATH and
# derives the data directory from the filter directory, so the parts must keep
# these positions relative to each other.

if(TARGET glotta)
  install(TARGETS glotta RUNTIME DESTINATION _linux/bin)
endif()

set(GLOTTA_MARKER ${CMAKE_BINARY_DIR}/flt_dx.so)
file(WRITE ${GLOTTA_MARKER} "")
install(FILES ${GLOTTA_MARKER} DESTINATION _linux/bin)

# Installed under their fixed names whatever the targets' own file names are.
foreach(plugin dxfilter dxutil)
  if(TARGET ${plugin})
    install(FILES $<TARGET_FILE:${plugin}> DESTINATION _linux/filters RENAME ${plugin}.so
            PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()

if(EXISTS ${CMAKE_SOURCE_DIR}/data)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION common/glotta
          PATTERN docs EXCLUDE
          PATTERN scripts EXCLUDE
          PATTERN "*.md" EXCLUDE)
else()
  install(DIRECTORY DESTINATION common/glotta)
endif()

# The launcher runs before every use of the installed tool, so it is a small C
# program linked statically: no shell, no dynamic linking of its own.
if(TARGET glotta)
  add_executable(glotta_launcher ${CMAKE_SOURCE_DIR}/tool/launcher.c)
  if(NOT GLOTTA_SANITIZE)
    target_link_options(glotta_launcher PRIVATE -static)
  endif()
  install(PROGRAMS $<TARGET_FILE:glotta_launcher> DESTINATION bin RENAME glotta)
endif()

if(TARGET glotta-scan)
  install(TARGETS glotta-scan RUNTIME DESTINATION bin)
endif()

# Manual pages and the shell completion of glotta-scan.
install(FILES ${CMAKE_SOURCE_DIR}/doc/man/glotta.1 ${CMAKE_SOURCE_DIR}/doc/man/glotta-scan.1
        DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/scan/glotta-scan.bash
        DESTINATION share/bash-completion/completions RENAME glotta-scan)
