# 64-bit Windows, where today's hosts run. SSE2 is the baseline there.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARVO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
