# Installs the program. On freedesktop systems it comes with its desktop entry, its icon
# in the hicolor theme and its AppStream metainfo, all named by ORVY_APP_ID so that the
# launcher, the dock and the software centre tie them to the running window.
include(GNUInstallDirs)

set(ORVY_EXECUTABLE OrvyClass)
install(TARGETS ${ORVY_EXECUTABLE} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The browser engine plug-in, loaded at the first play: where the program looks for it,
# beside itself on Windows, in lib/orvyclass next to bin/ elsewhere.
if(WIN32)
    install(TARGETS orvybrowserengine LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
    install(TARGETS orvybrowserengine LIBRARY DESTINATION lib/orvyclass)
endif()

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

if(WIN32)
    # Qt and Qt WebEngine (its helper process, resources and translations) beside the
    # program, by Qt's own deployment tool at install time.
    if(Qt6_VERSION VERSION_GREATER_EQUAL 6.5)
        qt_generate_deploy_app_script(TARGET ${ORVY_EXECUTABLE}
            OUTPUT_SCRIPT deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
    else()
        qt_generate_deploy_app_script(TARGET ${ORVY_EXECUTABLE}
            FILENAME_VARIABLE deploy_script NO_UNSUPPORTED_PLATFORM_ERROR)
    endif()
    install(SCRIPT ${deploy_script})
    # libcurl, libpng and zlib, when they are DLLs.
    install(FILES $<TARGET_RUNTIME_DLLS:${ORVY_EXECUTABLE}> DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The client library is loaded by name at the first connection, so no tool sees it.
    if(MARIADB_CLIENT_DLL)
        install(FILES ${MARIADB_CLIENT_DLL} DESTINATION ${CMAKE_INSTALL_BINDIR})
    else()
        message(WARNING "libmariadb.dll not found: set MARIADB_CLIENT_DLL to put it beside the program")
    endif()
endif()
