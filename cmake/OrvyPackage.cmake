# The Debian package, made by CPack from the install rules: `cpack -G DEB` in a build
# folder after the build. dpkg-shlibdeps works out the libraries the binary links; what it
# loads by name at run time cannot be seen that way and is listed here.
set(ORVY_PACKAGE_MAINTAINER "Orvy Class packaging <packaging@orvyclass.invalid>"
    CACHE STRING "Maintainer named in the package")

set(CPACK_PACKAGE_NAME orvyclass)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvy Class")
set(CPACK_PACKAGE_CONTACT ${ORVY_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Video course player for learners who read Kurdish and Arabic")
# The summary above is the first line of the package description; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A right-to-left player for the video courses of a school: courses, course types and
lessons come from the school's course database, and the lessons play in an embedded
browser. The database settings are built into this package.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time: the MariaDB client library (at the first connection), the web
# engine's helper process, and the fonts the window asks for by family name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmariadb3, libqt6webenginecore6-bin, fonts-noto-core, fonts-dejavu-core")

include(CPack)
