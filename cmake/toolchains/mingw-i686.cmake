# Windows x86 (32-bit) with Debian's mingw-w64 cross compilers: the platform
# the components were first written for. Builds only; 32-bit Wine is not
# installed here, so nothing runs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VERAVO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
