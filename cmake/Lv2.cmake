# The LV2 bundle lv2/Tarvo.lv2 in the build tree: the library tarvo.so (the LV2
# glue of src/lv2 over the same params, engine and filters layers as the VST
# library, exporting only lv2_descriptor) and its Turtle files, written at
# build time by tarvo-lv2-ttl (tools/lv2ttl) from the parameter table, the
# factory programs and the engine. Linux only; needs Debian's lv2-dev.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(LV2 QUIET lv2)
endif()
if(NOT LV2_FOUND)
  message(STATUS "LV2 headers (lv2-dev) not found: the LV2 bundle is left out")
  return()
endif()

# A folder of its own, so LV2_PATH can point at it: lilv reads every entry
# of a folder on LV2_PATH as a bundle.
set(TARVO_LV2_BUNDLE_FOLDER ${CMAKE_BINARY_DIR}/lv2)
set(TARVO_LV2_BUNDLE ${TARVO_LV2_BUNDLE_FOLDER}/Tarvo.lv2)

# The glue below the entry, shared by the library and the generator.
add_library(tarvo_lv2_glue OBJECT
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/ControlValue.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/GainHistoryDisplay.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/Lv2EnableFade.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/Lv2Meters.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/Lv2Plugin.cpp)
target_link_libraries(tarvo_lv2_glue PUBLIC tarvo_params)

add_library(tarvo_lv2 MODULE
  ${CMAKE_CURRENT_SOURCE_DIR}/src/lv2/Lv2Entry.cpp
  $<TARGET_OBJECTS:tarvo_lv2_glue>
  $<TARGET_OBJECTS:tarvo_filters> $<TARGET_OBJECTS:tarvo_engine> $<TARGET_OBJECTS:tarvo_params>)
set_target_properties(tarvo_lv2 PROPERTIES OUTPUT_NAME tarvo PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${TARVO_LV2_BUNDLE})
target_include_directories(tarvo_lv2 PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src ${LV2_INCLUDE_DIRS})
# Linked like the VST library (cmake/Plugin.cmake): the C++ runtime inside
# and hidden, nothing but the entry exported, no unresolved symbol.
set(TARVO_LV2_VERSION_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Tarvo-lv2.map)
if(TARVO_STATIC_RUNTIME)
  target_link_options(tarvo_lv2 PRIVATE
    -static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL -Wl,-z,nodelete)
endif()
target_link_options(tarvo_lv2 PRIVATE
  -Wl,--version-script=${TARVO_LV2_VERSION_SCRIPT} -Wl,-z,defs -Wl,--as-needed)
set_property(TARGET tarvo_lv2 APPEND PROPERTY LINK_DEPENDS ${TARVO_LV2_VERSION_SCRIPT})

add_executable(tarvo-lv2-ttl ${CMAKE_CURRENT_SOURCE_DIR}/tools/lv2ttl/main.cpp
  $<TARGET_OBJECTS:tarvo_lv2_glue>
  $<TARGET_OBJECTS:tarvo_filters> $<TARGET_OBJECTS:tarvo_engine> $<TARGET_OBJECTS:tarvo_params>)
target_include_directories(tarvo-lv2-ttl PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)

set(tarvo_lv2_ttl
  ${TARVO_LV2_BUNDLE}/manifest.ttl ${TARVO_LV2_BUNDLE}/tarvo.ttl ${TARVO_LV2_BUNDLE}/presets.ttl)
add_custom_command(OUTPUT ${tarvo_lv2_ttl}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVO_LV2_BUNDLE}
  COMMAND tarvo-lv2-ttl ${TARVO_LV2_BUNDLE} $<TARGET_FILE_NAME:tarvo_lv2>
  DEPENDS tarvo-lv2-ttl
  COMMENT "Writing the LV2 bundle's Turtle files")
add_custom_target(tarvo_lv2_bundle ALL DEPENDS tarvo_lv2 ${tarvo_lv2_ttl})
