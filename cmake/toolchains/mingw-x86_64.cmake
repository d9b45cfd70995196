# Windows x64 with Debian's mingw-w64 cross compilers. The -posix variants
# carry std::thread and std::mutex (GoogleTest needs them). Executables are
# linked statically so Wine runs them without the compiler's DLLs, and run
# under wine64 when ctest starts them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VERAVO_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
find_program(VERAVO_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/bin NO_DEFAULT_PATH)
if(VERAVO_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VERAVO_WINE64})
endif()
