# Cross-compilation to 64-bit Windows with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime: the executables run under Wine without a DLL path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wxMSW (scripts/wxmsw.sh) lives outside the compiler's root; FindwxWidgets
# looks for its headers with find_file, so the folder above wx-config's own
# (the installed prefix, or a build tree's parent) is a root too.
if(wxWidgets_CONFIG_EXECUTABLE)
  get_filename_component(_kavro_wx_root "${wxWidgets_CONFIG_EXECUTABLE}" DIRECTORY)
  get_filename_component(_kavro_wx_root "${_kavro_wx_root}" DIRECTORY)
  list(APPEND CMAKE_FIND_ROOT_PATH "${_kavro_wx_root}")
endif()

# CLI11 is header-only, but Debian's package configuration names /usr/include,
# which must not reach a Windows build (the host's C headers would shadow
# mingw-w64's). Offer the same CLI11::CLI11 target with CLI11's headers alone.
if(EXISTS /usr/include/CLI/CLI.hpp AND NOT CLI11_DIR)
  set(_kavro_cli11 "${CMAKE_BINARY_DIR}/mingw-w64-cli11")
  if(NOT EXISTS "${_kavro_cli11}/CLI11Config.cmake")
    file(MAKE_DIRECTORY "${_kavro_cli11}/include")
    file(CREATE_LINK /usr/include/CLI "${_kavro_cli11}/include/CLI" SYMBOLIC)
    file(WRITE "${_kavro_cli11}/CLI11Config.cmake" [=[
if(NOT TARGET CLI11::CLI11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/include")
endif()
]=])
  endif()
  set(CLI11_DIR "${_kavro_cli11}" CACHE PATH "CLI11 for the Windows build")
endif()

# nlohmann::json likewise: header-only, offered as nlohmann_json::nlohmann_json
# with a folder that holds only a link to its headers.
if(EXISTS /usr/include/nlohmann/json.hpp AND NOT nlohmann_json_DIR)
  set(_kavro_json "${CMAKE_BINARY_DIR}/mingw-w64-nlohmann-json")
  if(NOT EXISTS "${_kavro_json}/nlohmann_jsonConfig.cmake")
    file(MAKE_DIRECTORY "${_kavro_json}/include")
    file(CREATE_LINK /usr/include/nlohmann "${_kavro_json}/include/nlohmann" SYMBOLIC)
    file(WRITE "${_kavro_json}/nlohmann_jsonConfig.cmake" [=[
if(NOT TARGET nlohmann_json::nlohmann_json)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}/include")
endif()
]=])
  endif()
  set(nlohmann_json_DIR "${_kavro_json}" CACHE PATH "nlohmann::json for the Windows build")
endif()

# cpp-httplib: scripts/windows-deps.sh gives KAVRO_HTTPLIB_INCLUDE, the
# one-header form from Debian's source package (it defines the library too).
# Without it, a folder with a link to Debian's installed header alone, so the
# cross build never searches /usr/include itself; that header only declares,
# and the web console is then left out (web/CMakeLists.txt).
if(EXISTS /usr/include/httplib.h AND NOT KAVRO_HTTPLIB_INCLUDE)
  set(_kavro_httplib "${CMAKE_BINARY_DIR}/mingw-w64-httplib")
  if(NOT EXISTS "${_kavro_httplib}/httplib.h")
    file(MAKE_DIRECTORY "${_kavro_httplib}")
    file(CREATE_LINK /usr/include/httplib.h "${_kavro_httplib}/httplib.h" SYMBOLIC)
  endif()
  set(KAVRO_HTTPLIB_INCLUDE "${_kavro_httplib}" CACHE PATH "cpp-httplib for the Windows build")
endif()

# Tests run under Wine, in a prefix of the build folder's own, without a display
# and without Wine's debug channels; gtest_discover_tests and ctest use it.
find_program(KAVRO_WINE wine)
if(KAVRO_WINE)
  set(_kavro_wine_run "${CMAKE_BINARY_DIR}/wine-run.sh")
  if(NOT EXISTS "${_kavro_wine_run}")
    file(WRITE "${_kavro_wine_run}" "#!/bin/sh
# Runs a Windows program of this build under Wine (written by cmake/mingw-w64.cmake).
export WINEPREFIX='${CMAKE_BINARY_DIR}/wineprefix'
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY WAYLAND_DISPLAY
exec '${KAVRO_WINE}' \"$@\"
")
    file(CHMOD "${_kavro_wine_run}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR "${_kavro_wine_run}")
endif()
