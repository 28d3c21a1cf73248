# cmake -DSCAN=<glotta-scan> -DOUTPUT=<file> -P charset_list.cmake
# Writes glotta-scan's table of charset names and their standard names.
get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
execute_process(COMMAND ${SCAN} --list-charsets OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "${SCAN} --list-charsets failed: ${failed}")
endif()
