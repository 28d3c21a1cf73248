# The engine as a library for other programs, installed beside the tool:
#   lib/libglotta.so.5         the engine (SONAME libglotta.so.5), exporting
#                              only the names of the public header
#   include/glotta/lang_api.h  the public header
#   lib/pkgconfig/glotta.pc, lib/cmake/glotta/  pkg-config and CMake packages
#   lib/python3/dist-packages/glotta/  the Python package (python/glotta)
# The library finds the plug-ins like the tool does, through LD_LIBRARY_PATH;
# when that names no installation it uses the one it was loaded from.

set(glotta_map ${CMAKE_SOURCE_DIR}/engine/libglotta.map)
add_library(glotta_shared SHARED $<TARGET_OBJECTS:glotta_objects> ${GLOTTA_SELF_LOCATING_SOURCES})
target_include_directories(glotta_shared PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(glotta_shared PRIVATE GLOTTA_SHARED_LIBRARY)
target_link_libraries(glotta_shared PRIVATE ${CMAKE_DL_LIBS} Threads::Threads m)
set_target_properties(glotta_shared PROPERTIES
  OUTPUT_NAME glotta VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  LINK_DEPENDS ${glotta_map})
target_link_options(glotta_shared PRIVATE -Wl,--version-script=${glotta_map})
# The C++ runtime goes inside (hidden by the version script) outside sanitizer
# builds, so that a C program needs nothing but the C library beside it.
# Instrumented builds leave the sanitizer runtime to the program.
if(NOT GLOTTA_SANITIZE AND NOT GLOTTA_FUZZ)
  target_link_options(glotta_shared PRIVATE -static-libstdc++ -static-libgcc -Wl,--no-undefined)
endif()

install(TARGETS glotta_shared LIBRARY DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/engine/lang_api.h DESTINATION include/glotta)

# glotta.pc names the prefix the tree is installed into (known only at
# install time, cmake --install --prefix may change it). A relative prefix
# (cmake --install build --prefix out/prefix) is made absolute, so that the
# include path and the run path it gives hold from any working directory.
install(CODE "
  get_filename_component(GLOTTA_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/cmake/sdk/glotta.pc.in\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/pkgconfig/glotta.pc\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/pkgconfig/glotta.pc\")
")

include(CMakePackageConfigHelpers)
set(glotta_version_file ${CMAKE_BINARY_DIR}/glottaConfigVersion.cmake)
write_basic_package_version_file(${glotta_version_file} VERSION ${PROJECT_VERSION}
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/sdk/glottaConfig.cmake ${glotta_version_file}
        DESTINATION lib/cmake/glotta)

if(EXISTS ${CMAKE_SOURCE_DIR}/python/glotta)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/python/glotta DESTINATION lib/python3/dist-packages
          PATTERN __pycache__ EXCLUDE)
endif()
