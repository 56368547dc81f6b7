# Installs the program. On freedesktop systems it comes with its desktop entry, its icon
# in the hicolor theme and its AppStream metainfo, all named by ORVY_APP_ID so that the
# launcher, the dock and the software centre tie them to the running window.
include(GNUInstallDirs)

set(ORVY_EXECUTABLE OrvyClass)
# The browser engine plug-in, loaded at the first play: where the program looks for it,
# beside itself on Windows, in lib/orvyclass next to bin/ elsewhere.
if(WIN32)
    include(${PROJECT_SOURCE_DIR}/cmake/OrvyWindowsRuntime.cmake)
    # One folder, bin\, that runs on a PC with nothing but Windows: the program, the
    # plug-in, the client library, Qt and every DLL they import. The libraries linked are
    # named by target and by file: FindCURL, FindPNG and FindZLIB may give either.
    # A cross build without the engine (ORVY_WITHOUT_ENGINE) has no plug-in to ship.
    set(plugin "")
    if(TARGET orvybrowserengine)
        set(plugin PLUGIN orvybrowserengine)
    endif()
    orvy_install_windows_folder(DESTINATION ${CMAKE_INSTALL_BINDIR}
        EXECUTABLE ${ORVY_EXECUTABLE} ${plugin} CLIENT_DLL "${MARIADB_CLIENT_DLL}"
        LINKED Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network Qt6::WebEngineWidgets
            CURL::libcurl PNG::PNG ZLIB::ZLIB
        LINKED_FILES ${CURL_LIBRARIES} ${PNG_LIBRARIES} ${ZLIB_LIBRARIES})
    # Windows has no Noto Kufi Arabic, the title's font: it goes in fonts\ beside the
    # program (which loads it from there), with its licence (SIL Open Font License 1.1).
    # Debian's fonts-noto-core has both.
    set(ORVY_KUFI_FONT "/usr/share/fonts/truetype/noto/NotoKufiArabic-Bold.ttf" CACHE FILEPATH
        "Noto Kufi Arabic Bold, shipped in the Windows folder")
    set(ORVY_KUFI_FONT_LICENSE "/usr/share/doc/fonts-noto-core/copyright" CACHE FILEPATH
        "The licence of the Noto fonts, shipped beside the font")
    if(EXISTS "${ORVY_KUFI_FONT}" AND EXISTS "${ORVY_KUFI_FONT_LICENSE}")
        install(FILES "${ORVY_KUFI_FONT}" DESTINATION ${CMAKE_INSTALL_BINDIR}/fonts)
        install(FILES "${ORVY_KUFI_FONT_LICENSE}" DESTINATION ${CMAKE_INSTALL_BINDIR}/fonts
            RENAME NotoKufiArabic-LICENSE.txt)
    else()
        message(WARNING "Noto Kufi Arabic or its licence not found: set ORVY_KUFI_FONT and ORVY_KUFI_FONT_LICENSE")
        install(CODE "message(FATAL_ERROR \"The folder would lack the title's font: set ORVY_KUFI_FONT and ORVY_KUFI_FONT_LICENSE\")")
    endif()
else()
    install(TARGETS ${ORVY_EXECUTABLE} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(TARGET orvybrowserengine)
        install(TARGETS orvybrowserengine LIBRARY DESTINATION lib/orvyclass)
    endif()
endif()
# The catalogue check for the school's content team: beside the program, not on the
# learners' menu (no desktop entry).
install(TARGETS orvyclass-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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

    # What a Debian package carries beside the program: its copyright, its changelog
    # (written when the package is made, cmake/OrvyPackTime.cmake) and a manual page.
    set(docdir ${CMAKE_INSTALL_DATADIR}/doc/orvyclass)
    install(FILES ${packaging}/debian/copyright DESTINATION ${docdir})
    install(FILES ${generated}/changelog.Debian.gz DESTINATION ${docdir} OPTIONAL)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packaging}/debian/${ORVY_EXECUTABLE}.1)
    execute_process(COMMAND gzip -9nc ${packaging}/debian/${ORVY_EXECUTABLE}.1
        OUTPUT_FILE ${generated}/${ORVY_EXECUTABLE}.1.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${generated}/${ORVY_EXECUTABLE}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packaging}/debian/orvyclass-check.1)
    execute_process(COMMAND gzip -9nc ${packaging}/debian/orvyclass-check.1
        OUTPUT_FILE ${generated}/orvyclass-check.1.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${generated}/orvyclass-check.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
