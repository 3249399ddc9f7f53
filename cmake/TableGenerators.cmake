# The Python the table generators' checks run with, and a helper that adds
# such a check as a test.
#
# TARVO_PYTHON: Debian's own Python (/usr/bin/python3) when it has the
# modules the generators import (numpy and scipy for the halfband design,
# mpmath for the power table), else the first python3 on the PATH that has
# them; empty when none has. Every generator check runs with this one, so
# which python comes first on the PATH does not decide what is tested.
set(_tarvo_python_modules "import numpy, scipy.optimize, scipy.special, mpmath")
set(TARVO_PYTHON "")
find_program(_tarvo_path_python python3)
foreach(candidate /usr/bin/python3 ${_tarvo_path_python})
  if(NOT TARVO_PYTHON AND EXISTS ${candidate})
    execute_process(COMMAND ${candidate} -c "${_tarvo_python_modules}"
                    RESULT_VARIABLE _status OUTPUT_QUIET ERROR_QUIET)
    if(_status EQUAL 0)
      set(TARVO_PYTHON ${candidate})
    endif()
  endif()
endforeach()
if(NOT TARVO_PYTHON)
  message(STATUS "no Python 3 with numpy, scipy and mpmath: the table generator checks will report themselves skipped")
endif()

# tarvo_table_generator_test(NAME SCRIPT ARGS... [COMMITTED file]): runs
# `TARVO_PYTHON SCRIPT ARGS... OUTPUT`; it fails when the script does, and,
# with COMMITTED, when OUTPUT differs from the committed file. Without a
# suitable Python the test is reported as skipped, with the reason.
function(tarvo_table_generator_test name script)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "COMMITTED" "ARGS")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND}
      "-DPYTHON=${TARVO_PYTHON}" -DSCRIPT=${script} "-DARGS=${arg_ARGS}"
      -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/${name}.out "-DCOMMITTED=${arg_COMMITTED}"
      -P ${PROJECT_SOURCE_DIR}/cmake/RunTableGenerator.cmake)
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "TABLE-GENERATOR-SKIPPED" TIMEOUT 120)
endfunction()
