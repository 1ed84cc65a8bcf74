# What `cmake --install` puts in place, and the Debian package built from it
# with `cpack -G DEB`. The version comes from project() only.
include(GNUInstallDirs)

set(LENTAVIO_DATA_DIR ${PROJECT_SOURCE_DIR}/data)
set(LENTAVIO_APP_ID org.orvelta.Lentavio)

install(TARGETS lentavio RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The synthetic camera stays out of Qt's own plugin folder, so the plain
# launcher sees only real cameras; its own launcher puts it on the path.
if(TARGET ${LENTAVIO_SIMCAM_TARGET})
    install(TARGETS ${LENTAVIO_SIMCAM_TARGET}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/lentavio/plugins/mediaservice)
endif()
configure_file(${LENTAVIO_DATA_DIR}/lentavio-simcam.in ${CMAKE_BINARY_DIR}/data/lentavio-simcam @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/data/lentavio-simcam DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES
    ${LENTAVIO_DATA_DIR}/${LENTAVIO_APP_ID}.desktop
    ${LENTAVIO_DATA_DIR}/${LENTAVIO_APP_ID}.Simcam.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

configure_file(${LENTAVIO_DATA_DIR}/${LENTAVIO_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/data/${LENTAVIO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/data/${LENTAVIO_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${LENTAVIO_DATA_DIR}/icons/${LENTAVIO_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
    install(FILES ${LENTAVIO_DATA_DIR}/icons/${LENTAVIO_APP_ID}-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${LENTAVIO_APP_ID}.png)
endforeach()

# Debian wants manual pages and changelogs compressed, reproducibly.
configure_file(${LENTAVIO_DATA_DIR}/lentavio.1.in ${CMAKE_BINARY_DIR}/data/lentavio.1 @ONLY)
configure_file(${LENTAVIO_DATA_DIR}/changelog.Debian.in ${CMAKE_BINARY_DIR}/data/changelog.Debian @ONLY)
set(compressed ${CMAKE_BINARY_DIR}/data/lentavio.1.gz ${CMAKE_BINARY_DIR}/data/changelog.Debian.gz)
add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/data/lentavio.1
    COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/data/changelog.Debian
    DEPENDS ${CMAKE_BINARY_DIR}/data/lentavio.1 ${CMAKE_BINARY_DIR}/data/changelog.Debian
    COMMENT "Compressing the manual page and changelog")
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
install(FILES ${CMAKE_BINARY_DIR}/data/lentavio.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/data/lentavio.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    RENAME lentavio-simcam.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/data/changelog.Debian.gz ${LENTAVIO_DATA_DIR}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lentavio)

set(CPACK_PACKAGE_NAME lentavio)
set(CPACK_PACKAGE_VENDOR "Orvelta")
set(CPACK_PACKAGE_CONTACT "Orvelta <lentavio@orvelta.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live camera viewer for lining a picture up on a round hole")
set(CPACK_PACKAGE_DESCRIPTION "Lentavio shows a live camera picture with a crosshair, finds the round\nhole under it, marks it and shows alignment ticks; it can also paint\nthe edges of the picture in a chosen colour. A synthetic camera lets\nyou try it without one.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvelta.org/lentavio/")
# Qt finds cameras through its multimedia backend plugins, which no binary
# links to, so shlibdeps cannot see them. Its back-end for real cameras runs
# GStreamer's camerabin (bad), v4l2src and jpegdec (good) and videoconvert
# (base), on which that plugin does not depend either.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5multimedia5-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
