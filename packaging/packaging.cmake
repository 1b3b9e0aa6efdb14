# Installing and packaging. On Linux: the programs, the menu entry, the icons and the manual pages
# (from app/ and cli/), the README, and a .deb for Debian 12 (cpack -G DEB). From the Windows cross
# build: a .zip of wayloom-cli.exe with the README and the sample (cpack -G ZIP).
set(WAYLOOM_PACKAGE_CONTACT "Wayloom developers <wayloom@example.org>"
    CACHE STRING "Maintainer of the .deb, as NAME <EMAIL>")

set(CPACK_PACKAGE_NAME wayloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Wayloom developers")
set(CPACK_PACKAGE_CONTACT ${WAYLOOM_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "simulated GPS tracks in NMEA 0183 from points of interest")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  # A flat folder: the program, how to use it, and a file to try it on.
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/examples/a9-edinburgh-inverness.csv
          DESTINATION .)
  # GeographicLib, pugixml and simdjson are linked into the program: their licences go with it.
  foreach(library GeographicLib pugixml simdjson)
    set(licence ${PROJECT_SOURCE_DIR}/build-windows-deps/${library}-LICENSE.txt)
    if(EXISTS ${licence})
      install(FILES ${licence} DESTINATION .)
    endif()
  endforeach()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME wayloom-cli-${PROJECT_VERSION}-windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/wayloom)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in changelog @ONLY)
  add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9nc ${CMAKE_CURRENT_BINARY_DIR}/changelog > changelog.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
  add_custom_target(wayloom_changelog ALL DEPENDS changelog.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_LIST_DIR}/copyright
                ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
          DESTINATION ${docdir})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGE_DESCRIPTION
      "Wayloom reads text lines of longitude, latitude and description and writes\n"
      "the NMEA 0183 sentences ($GPGGA and $GPRMC) a GPS receiver moving from point\n"
      "to point would send: in file order or closest order, with extra points about\n"
      "a step apart if wanted. It comes as a window and as the command line\n"
      "wayloom-cli, which can also play a receiver moving at a set speed, and send\n"
      "the track live to TCP clients, through a pseudo-terminal or over UDP.")
  string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  # Depends from the libraries the programs link (dpkg-shlibdeps), and the window's platform
  # plugins and the SQLite driver of its MBTiles maps, which Qt loads at run time.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(WAYLOOM_BUILD_GUI)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
  endif()
  set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
      GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
include(CPack)
