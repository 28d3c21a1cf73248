# End-to-end tests: install the build into a test prefix (a CTest fixture),
# then run the INSTALLED launcher on each case under tests/e2e/cases/ and
# compare its output byte for byte. See tests/e2e/README.md.

if(NOT TARGET glotta)
  return()
endif()

set(GLOTTA_E2E_DIR ${CMAKE_BINARY_DIR}/e2e)
set(GLOTTA_E2E_PREFIX ${GLOTTA_E2E_DIR}/prefix)

add_test(NAME e2e.install
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DPREFIX=${GLOTTA_E2E_PREFIX}
                 -P ${CMAKE_CURRENT_LIST_DIR}/install_prefix.cmake)
set_tests_properties(e2e.install PROPERTIES FIXTURES_SETUP glotta_e2e_prefix)

find_program(GLOTTA_BASH bash REQUIRED)
file(GLOB e2e_cases LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/cases/*)
foreach(case_dir ${e2e_cases})
  if(NOT IS_DIRECTORY ${case_dir})
    continue()
  endif()
  get_filename_component(case_name ${case_dir} NAME)
  # Targets the case needs; without a `requires` file, the two plug-ins.
  set(required dxfilter dxutil)
  if(EXISTS ${case_dir}/requires)
    file(STRINGS ${case_dir}/requires required)
  endif()
  set(missing)
  foreach(target ${required})
    if(NOT TARGET ${target})
      list(APPEND missing ${target})
    endif()
  endforeach()
  add_test(NAME e2e.${case_name}
           COMMAND ${GLOTTA_BASH} ${CMAKE_CURRENT_LIST_DIR}/run_case.sh
                   ${GLOTTA_E2E_PREFIX}/bin/glotta ${case_dir} ${GLOTTA_E2E_DIR}/work/${case_name})
  set_tests_properties(e2e.${case_name} PROPERTIES FIXTURES_REQUIRED glotta_e2e_prefix
                                                   TIMEOUT 120)
  if(missing)
    message(STATUS "e2e.${case_name} disabled: no target ${missing}")
    set_tests_properties(e2e.${case_name} PROPERTIES DISABLED TRUE)
  endif()
endforeach()

# glotta-scan gives the same answers as glotta, document for document, and
# the ways of scaling it out (GNU parallel, Dask through the Python package
# with Debian's python3-distributed) give glotta-scan's lines.
find_program(GLOTTA_E2E_PYTHON3 python3)
find_program(GLOTTA_E2E_PARALLEL parallel)
find_program(GLOTTA_E2E_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(TARGET glotta-scan AND GLOTTA_E2E_PYTHON3)
  set(scale_out)
  if(GLOTTA_E2E_PARALLEL)
    list(APPEND scale_out --parallel)
  endif()
  # Python cannot load a sanitizer-built library (the sanitizer runtime must
  # come first), so the Dask run is for the normal build only.
  if(GLOTTA_E2E_SYSTEM_PYTHON3 AND NOT GLOTTA_SANITIZE
     AND EXISTS ${CMAKE_SOURCE_DIR}/python/glotta/__init__.py)
    execute_process(COMMAND ${GLOTTA_E2E_SYSTEM_PYTHON3} -c "import distributed"
                    RESULT_VARIABLE no_dask OUTPUT_QUIET ERROR_QUIET)
    if(NOT no_dask)
      list(APPEND scale_out --dask-python ${GLOTTA_E2E_SYSTEM_PYTHON3})
    endif()
  endif()
  add_test(NAME e2e.scan_agrees_with_glotta
           COMMAND ${GLOTTA_E2E_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/scan_agrees_with_glotta.py
                   --prefix ${GLOTTA_E2E_PREFIX} --work ${GLOTTA_E2E_DIR}/work/scan_agrees_with_glotta
                   ${scale_out})
  set_tests_properties(e2e.scan_agrees_with_glotta PROPERTIES FIXTURES_REQUIRED glotta_e2e_prefix
                                                              TIMEOUT 300)
endif()
