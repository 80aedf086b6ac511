# Cross-build of the 32-bit Windows DLL with MinGW-w64 (Debian package
# g++-mingw-w64-i686).
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# Doubles in SSE2 (every Windows since 8 requires it), never in the x87
# unit: its excess precision, and its dependence on the precision control
# word of the host process, would give other notes and bends than every
# other build.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
