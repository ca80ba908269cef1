# Packages: what every package shares, then each system's generator. Linux
# gets a .deb with the desktop integration of dist/linux; Windows includes
# packaging-nsis.cmake (its installer) where that file exists.
set(KAVRO_HOMEPAGE_URL "https://kavro.example.org" CACHE STRING "The project's home page (package, AppStream)")
set(KAVRO_MAINTAINER "KAVRO developers <packages@kavro.example.org>" CACHE STRING "The packages' maintainer")
set(KAVRO_LICENSE "LicenseRef-proprietary" CACHE STRING "The project's licence as an SPDX expression")

set(CPACK_PACKAGE_NAME kavro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KAVRO developers")
set(CPACK_PACKAGE_CONTACT "${KAVRO_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${KAVRO_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial firmware downloader for KAVRO equipment")
set(CPACK_PACKAGE_INSTALL_DIRECTORY KAVRO)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/packaging-nsis.cmake OPTIONAL)
else()
  add_subdirectory(${PROJECT_SOURCE_DIR}/dist/linux ${PROJECT_BINARY_DIR}/dist/linux)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The summary above is the synopsis; this is the extended description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "KAVRO downloads firmware into equipment attached to a serial port: the
technician picks an image (the built-in one or a .fw file), connects, sees
what the equipment reports about itself, downloads the image with a progress
bar and resets the equipment so that it runs the new firmware.
.
This package holds the desktop application (kavro), the command-line
downloader for production lines and scripts (kavro-cli), a simulated device
for trying it without hardware (kavro-sim), and a udev rule that lets the
user at the seat open USB serial adapters.")
endif()

include(CPack)
