# The Windows pieces of kavro.exe, included by ui/CMakeLists.txt on WIN32.

# <windows.h> before any wx header, its macros undone (windows_first.h).
foreach(target kavro_ui kavro)
  target_compile_options(${target} PRIVATE "SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/windows_first.h")
endforeach()

# The resources (icon, version information, manifest), compiled from their
# own object library, so that the toolkit's C++ flags never reach the resource
# compiler.
enable_language(RC)

set(KAVRO_APP_ICON ${PROJECT_SOURCE_DIR}/res/icons/kavro.ico)
set(KAVRO_APP_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/kavro.exe.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/kavro.rc.in ${CMAKE_CURRENT_BINARY_DIR}/kavro.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/kavro.rc PROPERTIES
  OBJECT_DEPENDS "${KAVRO_APP_ICON};${KAVRO_APP_MANIFEST}")

add_library(kavro_resources OBJECT ${CMAKE_CURRENT_BINARY_DIR}/kavro.rc)
# wx.rc and the configuration header it reads; no system-header flag for windres.
target_include_directories(kavro_resources PRIVATE ${wxWidgets_INCLUDE_DIRS})
target_link_libraries(kavro PRIVATE kavro_resources)
