# The learners' packages, made by CPack from the install rules after the build: `cpack -G DEB`
# on Debian, `cpack -G NSIS` (an installer) on Windows.
set(ORVY_PACKAGE_MAINTAINER "Orvy Class packaging <packaging@orvyclass.invalid>"
    CACHE STRING "Maintainer named in the package")
# The Debian package's version is PROJECT_VERSION and a stamp that grows with every
# package made (the UTC time of packaging, YYYYMMDDhhmmss), so a package rebuilt with new
# deployment values installs over the old one. SOURCE_DATE_EPOCH or this value fix it for
# a reproducible package.
set(ORVY_BUILD_STAMP "" CACHE STRING
    "Second part of the Debian package's version; empty: the UTC time of packaging")
if(NOT ORVY_BUILD_STAMP STREQUAL "" AND NOT ORVY_BUILD_STAMP MATCHES "^[0-9][0-9A-Za-z.+~]*$")
    message(FATAL_ERROR "ORVY_BUILD_STAMP must start with a digit and hold only letters, digits, "
        "'.', '+' and '~', not '${ORVY_BUILD_STAMP}'")
endif()

set(CPACK_PACKAGE_NAME orvyclass)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvy Class")
set(CPACK_PACKAGE_CONTACT ${ORVY_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Video course player for learners who read Kurdish and Arabic")
set(CPACK_STRIP_FILES ON)
# What is decided only when the package is made (its version stamp, and on Debian what
# the binaries link), by a script CPack runs then; the build's binaries named by path.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/packaging/cpack-project.cmake)
file(GENERATE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT "\
set(ORVY_PACKAGE_BINARIES \"$<TARGET_FILE:${ORVY_EXECUTABLE}>;$<TARGET_FILE:orvyclass-check>$<$<TARGET_EXISTS:orvybrowserengine>:;$<TARGET_FILE:orvybrowserengine>>\")
set(ORVY_BUILD_STAMP \"${ORVY_BUILD_STAMP}\")
set(ORVY_CHANGELOG \"${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz\")
set(ORVY_PROJECT_VERSION \"${PROJECT_VERSION}\")
include(\"${PROJECT_SOURCE_DIR}/cmake/OrvyPackTime.cmake\")
")

if(WIN32)
    set(ORVY_NSIS_EXECUTABLE ${ORVY_EXECUTABLE})
    set(ORVY_NSIS_ICON ${PROJECT_SOURCE_DIR}/packaging/windows/orvyclass.ico)
    include(${PROJECT_SOURCE_DIR}/cmake/OrvyNsis.cmake)
else()
    set(CPACK_GENERATOR DEB)
endif()

# Debian. The summary above is the first line of the package description; this is the
# rest, in lines of at most 80 characters.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
A right-to-left player for the video courses of a school: courses, course
types and lessons come from the school's course database, and the lessons
play in an embedded browser. The database settings are built into this
package.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps runs on the binaries when the package is made (cmake/OrvyPackTime.cmake),
# not through CPack: CPack's own run also adds ldconfig calls to the maintainer scripts
# for any shared object under usr/lib, and the browser engine plug-in there is a module
# that nothing links, so the package has no maintainer scripts at all.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the MariaDB client library (at
# the first connection), the web engine's helper process, and the fonts the window asks
# for by family name. Merged with what dpkg-shlibdeps finds, each package named once.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libmariadb3, libqt6webenginecore6-bin, fonts-noto-core, fonts-dejavu-core")

include(CPack)
