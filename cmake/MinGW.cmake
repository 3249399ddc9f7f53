# Shared part of the MinGW-w64 toolchain files (Debian's g++-mingw-w64).
# Expects TARVO_MINGW_TRIPLE. TARVO_MINGW_THREADS picks the compiler's
# thread model: win32 (the default, what the plug-in is built with) or
# posix (std::thread and std::mutex, which GoogleTest needs).
set(CMAKE_SYSTEM_NAME Windows)

if(NOT TARVO_MINGW_THREADS)
  set(TARVO_MINGW_THREADS win32)
endif()
set(TARVO_MINGW_THREADS ${TARVO_MINGW_THREADS} CACHE STRING "MinGW thread model: win32 or posix")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARVO_MINGW_THREADS)

set(CMAKE_C_COMPILER ${TARVO_MINGW_TRIPLE}-gcc-${TARVO_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TARVO_MINGW_TRIPLE}-g++-${TARVO_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${TARVO_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${TARVO_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here (the tests) run under Wine, also from ctest.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# Test programs link their runtime statically as well, so Wine needs no
# MinGW DLLs on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
