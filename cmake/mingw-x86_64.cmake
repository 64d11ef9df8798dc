# Cross-compiling the 64-bit Windows program. Debian's wine wrapper picks the
# 32-bit loader whenever it is installed, so the 64-bit one is named.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
