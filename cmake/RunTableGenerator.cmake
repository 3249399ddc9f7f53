# Runs a table generator: PYTHON SCRIPT ARGS... OUTPUT, then compares OUTPUT
# with COMMITTED when one is given. A script run by cmake -P cannot choose
# its exit code, so a skip is a failure with a marker that the test's
# SKIP_REGULAR_EXPRESSION turns into "skipped".
if(NOT PYTHON)
  message(FATAL_ERROR "TABLE-GENERATOR-SKIPPED: no Python 3 with numpy, scipy and mpmath (Debian: python3-numpy python3-scipy python3-mpmath)")
endif()
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${ARGS} ${OUTPUT} RESULT_VARIABLE status)
if(status EQUAL 77)
  message(FATAL_ERROR "TABLE-GENERATOR-SKIPPED: ${SCRIPT} lacks a module")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SCRIPT} failed (${status})")
endif()
if(COMMITTED)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${COMMITTED} differs from the generator's output ${OUTPUT}")
  endif()
endif()
