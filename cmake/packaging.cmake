# What `cmake --install` puts under the prefix, and the Debian package CPack
# makes of it (scripts/package.sh). Package dependencies come from
# dpkg-shlibdeps, never from a hand-written list.
include(GNUInstallDirs)

# Every program of the project that this build has; one added later only
# needs its name here.
foreach(program quinterra quinterra-image quinterra-emulator quinterra-send quinterra-agent
                quinterra-network)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

set(QUINTERRA_DIST ${CMAKE_SOURCE_DIR}/dist)
set(QUINTERRA_PACKED ${CMAKE_BINARY_DIR}/packed)
file(MAKE_DIRECTORY ${QUINTERRA_PACKED})

# gzip -9n at configure time, so that the build needs no step of its own;
# a changed source configures again.
function(quinterra_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
endfunction()

# The menu entry, its icon, the software centre's description (whose
# release is this version, dated by the build).
install(FILES ${QUINTERRA_DIST}/quinterra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
string(TIMESTAMP QUINTERRA_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${QUINTERRA_DIST}/es.quinterra.Quinterra.metainfo.xml.in
               ${QUINTERRA_PACKED}/es.quinterra.Quinterra.metainfo.xml @ONLY)
install(FILES ${QUINTERRA_PACKED}/es.quinterra.Quinterra.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUINTERRA_DIST}/icons/quinterra.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${QUINTERRA_DIST}/icons/${size}/quinterra.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The shop's agent and the network's broker as system services (off until
# enabled); the agent's user and folder are made by the package's postinst.
if(TARGET quinterra-agent)
  install(FILES ${QUINTERRA_DIST}/quinterra-agent.service ${QUINTERRA_DIST}/quinterra-broker.service
          DESTINATION lib/systemd/system)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUINTERRA_DIST}/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
endif()
# The office's recorder as a service, and the program that makes the
# network's report for quinterra-send (not a command of its own).
if(TARGET quinterra-network)
  install(FILES ${QUINTERRA_DIST}/quinterra-registro.service DESTINATION lib/systemd/system)
endif()
if(TARGET quinterra-network-report)
  install(TARGETS quinterra-network-report RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quinterra)
endif()

# Every manual page in man/, whoever wrote it.
file(GLOB quinterra_man_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/man/*.1)
foreach(page ${quinterra_man_pages})
  get_filename_component(name ${page} NAME)
  quinterra_gzip(${page} ${QUINTERRA_PACKED}/${name}.gz)
  install(FILES ${QUINTERRA_PACKED}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# What Debian asks of every package: its copyright and its changelog (a
# native package's, as the version has no Debian revision).
set(QUINTERRA_PACKAGE_CONTACT "Equipo de Quinterra <soporte@quinterra.invalid>"
    CACHE STRING "Maintainer of the Debian package")
string(TIMESTAMP QUINTERRA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${QUINTERRA_DIST}/changelog.in ${QUINTERRA_PACKED}/changelog @ONLY)
quinterra_gzip(${QUINTERRA_PACKED}/changelog ${QUINTERRA_PACKED}/changelog.gz)
install(FILES ${QUINTERRA_DIST}/copyright ${QUINTERRA_PACKED}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quinterra)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quinterra)
set(CPACK_PACKAGE_VERSION ${QUINTERRA_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUINTERRA_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "paneles LED de resultados y botes de una administración de loterías")
# Lines of at most 80 characters, as Debian asks.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quinterra rellena los dos paneles LED de una administración de loterías,"
  "el de resultados y el de botes, sobre sus imágenes, y escribe cada panel"
  "en sus equipos por una línea serie o por TCP. Trae también quinterra-send,"
  "que envía los paneles de un documento sin ventanas, quinterra-image, que"
  "imprime o dibuja la imagen de los paneles de un documento, y"
  "quinterra-emulator, un equipo de panel emulado para pruebas y"
  "demostraciones. Para una cadena de tiendas, quinterra-network prepara la"
  "red (un servidor MQTT Mosquitto con TLS) y quinterra-agent, el servicio de"
  "cada tienda, aplica a sus paneles el documento firmado de la oficina.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not libraries, so dpkg-shlibdeps cannot see them: the digit font the
# panels are drawn with, and the Spanish texts of Qt's own dialogs.
# openssl makes a network's certificates; the broker runs where the office chooses.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dseg, qt6-translations-l10n, openssl")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mosquitto")
include(CPack)
