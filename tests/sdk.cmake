# Tests of the installed SDK, run on the end-to-end installation: the C and
# CMake examples (examples/run_examples.sh), the Python package's unit
# tests and the documentation's examples. Sanitizer builds leave them out: a program or interpreter that is not
# itself instrumented cannot load an instrumented libglotta.so.
if(GLOTTA_SANITIZE OR NOT TARGET glotta_shared OR NOT DEFINED GLOTTA_E2E_PREFIX)
  return()
endif()

add_test(NAME sdk.examples
         COMMAND ${GLOTTA_BASH} ${CMAKE_SOURCE_DIR}/examples/run_examples.sh ${GLOTTA_E2E_PREFIX}
                 ${CMAKE_BINARY_DIR}/sdk/examples)
set_tests_properties(sdk.examples PROPERTIES FIXTURES_REQUIRED glotta_e2e_prefix TIMEOUT 300)

find_program(GLOTTA_PYTHON3 python3)
if(GLOTTA_PYTHON3)
  add_test(NAME sdk.python
           COMMAND ${GLOTTA_PYTHON3} -W error -m unittest discover -s ${CMAKE_SOURCE_DIR}/python/tests
                   -t ${CMAKE_SOURCE_DIR}/python/tests)
  set_tests_properties(sdk.python PROPERTIES FIXTURES_REQUIRED glotta_e2e_prefix TIMEOUT 300
                                             ENVIRONMENT "GLOTTA_PREFIX=${GLOTTA_E2E_PREFIX}")
  # The documentation's examples, records, option lists and code tables
  # against the installation (tests/docs_agree_test.py).
  add_test(NAME docs.agree
           COMMAND ${GLOTTA_PYTHON3} -W error -m unittest -v docs_agree_test
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests)
  set_tests_properties(docs.agree PROPERTIES FIXTURES_REQUIRED glotta_e2e_prefix TIMEOUT 300
                                             ENVIRONMENT "GLOTTA_PREFIX=${GLOTTA_E2E_PREFIX}")
endif()
