# 32-bit Windows, the platform hosts of this plug-in were written for.
# Floating point in SSE2 rather than x87 (-mfpmath=sse; -msse2 alone keeps
# the math on x87, where flush-to-zero has no effect), and a realigned stack
# because 32-bit hosts keep it only 4-byte aligned.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARVO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
set(CMAKE_C_FLAGS_INIT "-march=pentium4 -msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-march=pentium4 -msse2 -mfpmath=sse -mstackrealign")
