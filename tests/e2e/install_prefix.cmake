# cmake -DBUILD_DIR=... -DPREFIX=... -P install_prefix.cmake
# A fresh installation of the build, so nothing of an earlier one lingers.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "installing ${BUILD_DIR} into ${PREFIX} failed: ${result}")
endif()
foreach(file bin/glotta _linux/bin/glotta _linux/bin/flt_dx.so)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "installation lacks ${file}")
  endif()
endforeach()
