# Runs the power table generator into OUTPUT and compares it with COMMITTED.
execute_process(COMMAND ${PYTHON} ${SCRIPT} -o ${OUTPUT} RESULT_VARIABLE result)
if(result EQUAL 77)
  # A script run by cmake -P cannot choose its exit code; let the test fail
  # with a marker the test's SKIP_REGULAR_EXPRESSION catches.
  message(FATAL_ERROR "TABLE-GENERATOR-SKIPPED")
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "generator failed (${result})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${COMMITTED} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${COMMITTED} differs from the generator's output ${OUTPUT}")
endif()
