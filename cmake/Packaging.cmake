# Installation and the Debian packages. vireon-data-logger: the four programs, the manual, a
# desktop entry, icon and metainfo under one application id, the udev rule for the instrument's
# FTDI bridge, the systemd units of the unattended logger, a man page per program made from its
# --help, the licence and the Debian copyright file. vireon-data-logger-export: vireon-export,
# the map exports through GDAL, in a package of its own so that logging needs no GDAL.
set(VIREON_APP_ID com.ndq.VireonDataLogger)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME logger)
set(_export_docdir ${CMAKE_INSTALL_DATADIR}/doc/vireon-data-logger-export)
install(TARGETS vireon-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT export)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${_pkg}/copyright DESTINATION ${_export_docdir}
        COMPONENT export)

set(_programs vireon-decode vireon-sim marlune-probe)
if(TARGET vireon-logger)
  list(APPEND _programs vireon-logger)
  install(FILES ${PROJECT_BINARY_DIR}/bin/Vireon1.0.pdf DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${_pkg}/${VIREON_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/${VIREON_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/vireon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VIREON_APP_ID}.svg)
install(FILES ${_pkg}/70-vireon-data-logger.rules DESTINATION lib/udev/rules.d)
install(FILES ${_pkg}/vireon-log@.service ${_pkg}/vireon-bridge@.target
        DESTINATION lib/systemd/system)
install(FILES ${_pkg}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME vireon-data-logger)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${_pkg}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Compressed without a timestamp, so the package is the same from one build to the next.
set(_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${_pkg}/changelog > ${_changelog}
  DEPENDS ${_pkg}/changelog)
set(_generated ${_changelog})
install(FILES ${_changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${_changelog} DESTINATION ${_export_docdir} COMPONENT export)

find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(_names_vireon-logger "data logger for the Vireon RF measuring instrument")
  set(_names_vireon-decode "decode the Vireon instrument's packets to JSON Lines")
  set(_names_vireon-sim "simulated Vireon instrument on a pseudo-terminal")
  set(_names_marlune-probe "print the Vireon Data Logger's map records")
  set(_names_vireon-export "write a Vireon survey as a coverage map through GDAL")
  set(_component_vireon-export export)
  foreach(program ${_programs} vireon-export)
    set(_page ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
    # A program's sections beyond its --help, such as the service that runs it, come from
    # packaging/<program>.h2m.
    set(_include ${_pkg}/${program}.h2m)
    if(EXISTS ${_include})
      set(_include_args --include=${_include})
    else()
      set(_include "")
      set(_include_args "")
    endif()
    add_custom_command(OUTPUT ${_page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1796774400 QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --name=${_names_${program}} --section=1 ${_include_args}
              --output=${PROJECT_BINARY_DIR}/man/${program}.1 $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/man/${program}.1
      DEPENDS ${program} ${_include}
      VERBATIM)
    list(APPEND _generated ${_page})
    if(NOT _component_${program})
      set(_component_${program} logger)
    endif()
    install(FILES ${_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT ${_component_${program}})
  endforeach()
else()
  message(STATUS "help2man not found: no man pages (scripts/install-deps.sh installs it)")
endif()
add_custom_target(vireon-install-files ALL DEPENDS ${_generated})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vireon-data-logger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "NDQ <vireon@ndq.com>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ndq.com/vireon/")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL logger export)
set(CPACK_DEBIAN_LOGGER_PACKAGE_NAME vireon-data-logger)
set(CPACK_DEBIAN_EXPORT_PACKAGE_NAME vireon-data-logger-export)
# Each description's first line is its package's summary.
set(CPACK_DEBIAN_LOGGER_DESCRIPTION
    "data logger for the Vireon RF measuring instrument\n"
    "The PC-side program of the Vireon handheld RF measuring instrument (two\n"
    "radio receivers and a GPS receiver). It reads the instrument over its FTDI\n"
    "USB bridge or a serial port, shows one signal-strength bar graph per\n"
    "receiver and a GPS screen, logs every packet to a KLF log file and hands\n"
    "the position with one signal level to a mapping program. Includes a\n"
    "decoder for logs and captures, an instrument simulator and a map probe.")
set(CPACK_DEBIAN_EXPORT_DESCRIPTION
    "coverage maps of Vireon surveys for QGIS and Google Earth\n"
    "vireon-decode --export gpkg and --export kmz turn a KLF log of a survey\n"
    "into a coverage map: per receiver and channel, square cells holding the\n"
    "levels measured there, one point per GPS fix and the drive, as a styled\n"
    "GeoPackage for QGIS or a KMZ with a legend for Google Earth. Written\n"
    "through GDAL, which is why it comes apart from the logger.")
foreach(_var CPACK_DEBIAN_LOGGER_DESCRIPTION CPACK_DEBIAN_EXPORT_DESCRIPTION)
  string(REPLACE ";" "" ${_var} "${${_var}}")
endforeach()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET vireon-logger)
  # The logger's icons are SVG, drawn by Qt's SVG icon plugin, which no program links: shlibdeps
  # cannot see it.
  set(CPACK_DEBIAN_LOGGER_PACKAGE_DEPENDS "libqt6svg6 (>= ${Qt6Svg_VERSION})")
endif()
# postinst makes the unattended logger's system user.
list(APPEND CPACK_DEBIAN_LOGGER_PACKAGE_DEPENDS adduser)
string(REPLACE ";" ", " CPACK_DEBIAN_LOGGER_PACKAGE_DEPENDS "${CPACK_DEBIAN_LOGGER_PACKAGE_DEPENDS}")
# vireon-decode runs vireon-export for the map formats.
set(CPACK_DEBIAN_EXPORT_PACKAGE_DEPENDS "vireon-data-logger (= ${PROJECT_VERSION})")
# Help > User Manual opens the PDF through the desktop's opener and a PDF viewer; the forms were
# laid out on Liberation's metrics; the map link's notification needs a session bus; the map
# exports come with their own package.
set(CPACK_DEBIAN_LOGGER_PACKAGE_RECOMMENDS
    "xdg-utils, evince | okular | atril | qpdfview | mupdf, fonts-liberation,"
    " dbus-user-session | dbus-x11, vireon-data-logger-export")
string(REPLACE ";" "" CPACK_DEBIAN_LOGGER_PACKAGE_RECOMMENDS
       "${CPACK_DEBIAN_LOGGER_PACKAGE_RECOMMENDS}")
set(CPACK_DEBIAN_LOGGER_PACKAGE_CONTROL_EXTRA ${_pkg}/postinst ${_pkg}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
