# Cross-build of the 64-bit Windows DLL with MinGW-w64 (Debian package
# g++-mingw-w64-x86-64).
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
