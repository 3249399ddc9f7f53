# Runs the halfband design and compares its output with the committed table.
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${GENERATED} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "design_halfband.py failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${GENERATED} ${COMMITTED}
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "the design no longer reproduces ${COMMITTED}")
endif()
