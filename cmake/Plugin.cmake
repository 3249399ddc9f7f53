# The plug-in library: Tarvo.so on Linux, Tarvo.dll on Windows. Its only
# exports are VSTPluginMain and main (the same function). The C++ runtime is
# linked in statically, so hosts on older systems need nothing newer than
# their C library, and stays hidden inside.
add_library(tarvo_plugin MODULE
  ${CMAKE_CURRENT_SOURCE_DIR}/src/host/Entry.cpp
  $<TARGET_OBJECTS:tarvo_filters> $<TARGET_OBJECTS:tarvo_engine>
  $<TARGET_OBJECTS:tarvo_params> $<TARGET_OBJECTS:tarvo_host>)
set_target_properties(tarvo_plugin PROPERTIES OUTPUT_NAME Tarvo PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(tarvo_plugin PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)

if(WIN32)
  # cdecl entry exported through the .def file; libgcc and libstdc++ are
  # linked statically so the DLL imports only KERNEL32 and msvcrt.
  target_sources(tarvo_plugin PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Tarvo.def)
  target_link_options(tarvo_plugin PRIVATE -static-libgcc -static-libstdc++ -static)
else()
  # Sanitizer builds switch the static runtime off: a C++ runtime linked into
  # the plug-in keeps its own allocations (its exception emergency pool) that
  # a sanitizer reports as leaked when the host unloads the library, and it
  # hides operator new and delete from the sanitizer.
  option(TARVO_STATIC_RUNTIME "Link libgcc and libstdc++ statically into the plug-in" ON)
  set(TARVO_VERSION_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/cmake/Tarvo.map)
  if(TARVO_STATIC_RUNTIME)
    # -z nodelete: the runtime inside allocates its exception emergency pool
    # when the library is loaded and never frees it; a host that scans or
    # bridges plug-ins loads and unloads the library many times, so the
    # library stays mapped after the last dlclose and the next dlopen reuses
    # it instead of leaking a pool per cycle.
    target_link_options(tarvo_plugin PRIVATE
      -static-libgcc -static-libstdc++ -Wl,--exclude-libs,ALL -Wl,-z,nodelete)
  endif()
  # -z defs: an unresolved symbol fails this link rather than a host's scan.
  target_link_options(tarvo_plugin PRIVATE
    -Wl,--version-script=${TARVO_VERSION_SCRIPT}
    -Wl,-z,defs
    -Wl,--as-needed)
  set_property(TARGET tarvo_plugin APPEND PROPERTY LINK_DEPENDS ${TARVO_VERSION_SCRIPT})
endif()
