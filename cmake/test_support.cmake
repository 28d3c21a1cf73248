# Test support beyond the per-file unit test programs of tests/:
#  - the unit tests of the tool and of glotta-scan (tool_*, scan_*) also link
#    the tool's and glotta-scan's library;
#  - fake filter and utility plug-ins (tests/fakes) for the loader tests, laid
#    out as filter directories under ${GLOTTA_FAKES_DIR}/<case>/;
#  - a C program compiled as C against the engine's public header.

foreach(part tool scan)
  file(GLOB part_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/${part}_*_test.cpp)
  foreach(test_source ${part_tests})
    get_filename_component(test_name ${test_source} NAME_WE)
    if(TARGET ${test_name} AND TARGET glotta_${part})
      target_link_libraries(${test_name} PRIVATE glotta_${part})
    endif()
  endforeach()
endforeach()

set(GLOTTA_FAKES_DIR ${CMAKE_BINARY_DIR}/tests/fakes)

# fake_plugin(<case> <filter|util> [definitions...]) builds
# ${GLOTTA_FAKES_DIR}/<case>/dxfilter.so or dxutil.so.
function(fake_plugin case role)
  set(target fake_${case}_${role})
  add_library(${target} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/tests/fakes/fake_dx.c)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  if(role STREQUAL "filter")
    set(file_name dxfilter)
    target_compile_definitions(${target} PRIVATE FAKE_FILTER ${ARGN})
  else()
    set(file_name dxutil)
    if(ARGN)
      target_compile_definitions(${target} PRIVATE ${ARGN})
    endif()
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${file_name}
    LIBRARY_OUTPUT_DIRECTORY ${GLOTTA_FAKES_DIR}/${case})
  set_property(GLOBAL APPEND PROPERTY GLOTTA_FAKE_TARGETS ${target})
endfunction()

fake_plugin(good filter)
fake_plugin(good util)
fake_plugin(no_filter_entry filter FAKE_NO_ENTRY)
fake_plugin(no_filter_entry util)
fake_plugin(init_null filter FAKE_INIT_NULL)
fake_plugin(init_null util)
fake_plugin(no_util filter)
fake_plugin(no_util_entry filter)
fake_plugin(no_util_entry util FAKE_NO_ENTRY)
fake_plugin(services_null filter)
fake_plugin(services_null util FAKE_SERVICES_NULL)

get_property(fake_targets GLOBAL PROPERTY GLOTTA_FAKE_TARGETS)
file(GLOB engine_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/engine_*_test.cpp)
# The detection flow tests start a whole engine on the fake plug-ins too.
list(APPEND engine_tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/pipeline_flow_test.cpp)
foreach(test_source ${engine_tests})
  get_filename_component(test_name ${test_source} NAME_WE)
  if(TARGET ${test_name})
    add_dependencies(${test_name} ${fake_targets})
    target_compile_definitions(${test_name} PRIVATE GLOTTA_FAKES_DIR="${GLOTTA_FAKES_DIR}")
  endif()
endforeach()

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/c_api_test.c)
  add_executable(c_api_test ${CMAKE_CURRENT_SOURCE_DIR}/tests/c_api_test.c)
  target_link_libraries(c_api_test PRIVATE glotta_core)
  set_target_properties(c_api_test PROPERTIES LINKER_LANGUAGE CXX)
  add_dependencies(c_api_test ${fake_targets})
  target_compile_definitions(c_api_test PRIVATE GLOTTA_FAKES_DIR="${GLOTTA_FAKES_DIR}")
  add_test(NAME c_api_test COMMAND c_api_test)
endif()

# The sanitizer variant also builds the thread test with ThreadSanitizer: the
# engine's sources and the test compiled anew with -fsanitize=thread (which
# cannot be mixed with AddressSanitizer), on stand-in plug-ins built without
# instrumentation.
set(tsan_test ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit/engine_threads_test.cpp)
if(GLOTTA_SANITIZE AND EXISTS ${tsan_test})
  find_package(GTest REQUIRED)
  set(tsan_fakes ${CMAKE_BINARY_DIR}/tests/fakes-tsan)
  foreach(role filter util)
    set(target tsan_fake_good_${role})
    add_library(${target} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/tests/fakes/fake_dx.c)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${target} PROPERTIES
      COMPILE_OPTIONS "-Wall;-Wextra;-Werror" LINK_OPTIONS ""
      PREFIX "" OUTPUT_NAME dx${role} LIBRARY_OUTPUT_DIRECTORY ${tsan_fakes}/good)
    if(role STREQUAL "filter")
      target_compile_definitions(${target} PRIVATE FAKE_FILTER)
    endif()
  endforeach()
  add_executable(engine_threads_tsan ${GLOTTA_CORE_SOURCES} ${tsan_test})
  set_target_properties(engine_threads_tsan PROPERTIES
    COMPILE_OPTIONS "-Wall;-Wextra;-Werror;-O1;-g;-fsanitize=thread;-fno-omit-frame-pointer"
    LINK_OPTIONS "-fsanitize=thread")
  target_include_directories(engine_threads_tsan PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                                         ${CMAKE_CURRENT_SOURCE_DIR}/tests/unit)
  target_link_libraries(engine_threads_tsan PRIVATE GTest::gtest GTest::gtest_main
                                                    ${CMAKE_DL_LIBS} Threads::Threads m)
  target_compile_definitions(engine_threads_tsan PRIVATE
    GLOTTA_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/tests/data"
    GLOTTA_FAKES_DIR="${tsan_fakes}")
  add_dependencies(engine_threads_tsan tsan_fake_good_filter tsan_fake_good_util)
  add_test(NAME engine_threads_tsan COMMAND engine_threads_tsan)
  set_tests_properties(engine_threads_tsan PROPERTIES
    ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
endif()
