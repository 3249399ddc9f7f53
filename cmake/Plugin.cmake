# The plug-in library: Tarvo.so on Linux, Tarvo.dll on Windows.
add_library(tarvo_plugin MODULE
  $<TARGET_OBJECTS:tarvo_filters> $<TARGET_OBJECTS:tarvo_engine>
  $<TARGET_OBJECTS:tarvo_params> $<TARGET_OBJECTS:tarvo_host>)
set_target_properties(tarvo_plugin PROPERTIES OUTPUT_NAME Tarvo PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
