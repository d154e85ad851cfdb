# Cross-builds midicompose.dll and midicompose.exe for 32-bit Windows with
# Debian's g++-mingw-w64-i686.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
