# Installs the program. On freedesktop systems it comes with its desktop entry, its icon
# in the hicolor theme and its AppStream metainfo, all named by ORVY_APP_ID so that the
# launcher, the dock and the software centre tie them to the running window.
include(GNUInstallDirs)

set(ORVY_EXECUTABLE OrvyClass)
install(TARGETS ${ORVY_EXECUTABLE} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(UNIX AND NOT APPLE)
    set(packaging ${PROJECT_SOURCE_DIR}/packaging)
    set(generated ${PROJECT_BINARY_DIR}/packaging)
    configure_file(${packaging}/orvyclass.desktop.in ${generated}/${ORVY_APP_ID}.desktop @ONLY)
    configure_file(${packaging}/orvyclass.metainfo.xml.in ${generated}/${ORVY_APP_ID}.metainfo.xml @ONLY)

    install(FILES ${generated}/${ORVY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${generated}/${ORVY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${packaging}/orvyclass.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${ORVY_APP_ID}.svg)
    foreach(size IN LISTS ORVY_ICON_SIZES)
        install(FILES ${packaging}/icons/orvyclass-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${ORVY_APP_ID}.png)
    endforeach()
endif()
