# What a Windows build takes from outside, when it is cross-compiled here:
# Debian packages only the Linux builds of SQLite and CLI11, so SQLite is
# compiled from its amalgamation (VERAVO_SQLITE_AMALGAMATION: a folder with
# sqlite3.c and sqlite3.h, fetched by scripts/fetch_sqlite_amalgamation.sh)
# and CLI11, a header-only library, is taken from the build machine's headers.

set(VERAVO_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding sqlite3.c and sqlite3.h for Windows builds")
if(NOT TARGET SQLite::SQLite3)
  if(NOT EXISTS "${VERAVO_SQLITE_AMALGAMATION}/sqlite3.c")
    message(FATAL_ERROR "Windows build: set VERAVO_SQLITE_AMALGAMATION to a folder with sqlite3.c "
                        "(scripts/fetch_sqlite_amalgamation.sh fetches one)")
  endif()
  add_library(veravo_sqlite3 STATIC ${VERAVO_SQLITE_AMALGAMATION}/sqlite3.c)
  target_include_directories(veravo_sqlite3 SYSTEM PUBLIC $<BUILD_INTERFACE:${VERAVO_SQLITE_AMALGAMATION}>)
  target_compile_options(veravo_sqlite3 PRIVATE -w)
  target_compile_definitions(veravo_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION)
  add_library(SQLite::SQLite3 ALIAS veravo_sqlite3)
  install(TARGETS veravo_sqlite3 EXPORT veravoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

function(veravo_host_cli11)
  if(TARGET CLI11::CLI11)
    return()
  endif()
  find_path(VERAVO_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
  if(NOT VERAVO_CLI11_INCLUDE)
    message(FATAL_ERROR "CLI11 headers not found (Debian package libcli11-dev)")
  endif()
  # Only the CLI folder is exposed: the rest of /usr/include is the build
  # machine's C library and must not reach the cross compiler.
  set(staged ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${staged})
  file(CREATE_LINK ${VERAVO_CLI11_INCLUDE}/CLI ${staged}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${staged})
endfunction()
