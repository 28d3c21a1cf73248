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
# program linked statically: no shell, no dynamic linking of its own. On Linux
# on x86-64 and AArch64 it is built without the C library either (its start-up
# alone costs more than a millisecond), and so without the sanitizers, whose
# runtime needs it; elsewhere it is linked with the C library.
set(launcher_bare OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_C_COMPILER_ID MATCHES "^(GNU|Clang)$"
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|aarch64|arm64)$")
  set(launcher_bare ON)
endif()
set(GLOTTA_LAUNCHER_BARE ${launcher_bare} CACHE BOOL
    "Build the launcher bin/glotta without the C library (x86-64 and AArch64 Linux)")

# glotta_launcher(<target> BARE|LIBC [definitions...]) builds tool/launcher.c.
function(glotta_launcher target kind)
  add_executable(${target} ${CMAKE_SOURCE_DIR}/tool/launcher.c)
  if(ARGN)
    target_compile_definitions(${target} PRIVATE ${ARGN})
  endif()
  if(kind STREQUAL "BARE")
    set(options -Wall -Wextra -Werror -ffreestanding -fno-builtin -fno-stack-protector
                -fno-asynchronous-unwind-tables)
    if(CMAKE_C_COMPILER_ID STREQUAL "GNU")
      # Byte loops stay loops, not calls to a memcpy that is not there.
      list(APPEND options -fno-tree-loop-distribute-patterns)
    endif()
    target_compile_definitions(${target} PRIVATE GLOTTA_LAUNCHER_BARE)
    set_target_properties(${target} PROPERTIES
      COMPILE_OPTIONS "${options}" POSITION_INDEPENDENT_CODE OFF
      LINK_OPTIONS "-static;-nostdlib;LINKER:-z,noseparate-code")
  elseif(NOT GLOTTA_SANITIZE)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

if(TARGET glotta)
  if(GLOTTA_LAUNCHER_BARE)
    glotta_launcher(glotta_launcher BARE)
  else()
    glotta_launcher(glotta_launcher LIBC)
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
