# Validates the LV2 bundle's Turtle files against the LV2 specifications
# installed on the machine (run with cmake -P):
#   -DVALIDATE=path/to/lv2_validate -DBUNDLE=path/to/Tarvo.lv2
# Fails when lv2_validate fails or prints any error or warning line, or
# when it finds an error it does not print as a line of its own.

cmake_minimum_required(VERSION 3.16)

if(NOT VALIDATE OR NOT BUNDLE)
  message(FATAL_ERROR "usage: cmake -DVALIDATE=... -DBUNDLE=... -P Lv2Validate.cmake")
endif()
file(GLOB ttl "${BUNDLE}/*.ttl")
if(NOT ttl)
  message(FATAL_ERROR "no Turtle files in ${BUNDLE}")
endif()

execute_process(COMMAND "${VALIDATE}" ${ttl}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
string(REGEX MATCH "(^|\n)[^\n]*(error|warning)[^\n]*:" complaint "${output}")
string(REGEX MATCH "Found 0 errors" clean "${output}")
if(NOT result EQUAL 0 OR complaint OR NOT clean)
  message(FATAL_ERROR "lv2_validate does not pass the bundle (exit ${result})")
endif()
