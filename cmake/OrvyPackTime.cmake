# Run by CPack when it makes a package (CPACK_PROJECT_CONFIG_FILE, written by
# cmake/OrvyPackage.cmake with the values it reads: ORVY_PACKAGE_BINARIES, ORVY_BUILD_STAMP,
# ORVY_CHANGELOG, ORVY_PROJECT_VERSION).
cmake_policy(VERSION 3.21)
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

# The version: the project's, then the stamp as the Debian revision, so each package made
# sorts after the ones before it and after a plain "1.0".
if(ORVY_BUILD_STAMP)
    set(orvy_stamp ${ORVY_BUILD_STAMP})
else()
    # string(TIMESTAMP) takes SOURCE_DATE_EPOCH when it is set.
    string(TIMESTAMP orvy_stamp "%Y%m%d%H%M%S" UTC)
endif()
set(CPACK_DEBIAN_PACKAGE_VERSION ${ORVY_PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${orvy_stamp})
set(orvy_version "${ORVY_PROJECT_VERSION}-${orvy_stamp}")

# What the binaries link, by dpkg-shlibdeps, which needs a debian/control beside it.
set(orvy_dir "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/orvy-shlibdeps")
file(REMOVE_RECURSE "${orvy_dir}")
file(MAKE_DIRECTORY "${orvy_dir}/debian")
file(WRITE "${orvy_dir}/debian/control" "")
execute_process(COMMAND env LC_ALL=C dpkg-shlibdeps -O ${ORVY_PACKAGE_BINARIES}
    WORKING_DIRECTORY "${orvy_dir}"
    OUTPUT_VARIABLE orvy_shlibs ERROR_VARIABLE orvy_error RESULT_VARIABLE orvy_result)
if(NOT orvy_result EQUAL 0 OR NOT orvy_shlibs MATCHES "shlibs:Depends=([^\n]*)")
    message(FATAL_ERROR "dpkg-shlibdeps failed on ${ORVY_PACKAGE_BINARIES}: ${orvy_error}")
endif()
# Each package once: a run-time one that dpkg-shlibdeps names too keeps its version.
set(orvy_depends ${CMAKE_MATCH_1})
string(REPLACE ", " ";" orvy_linked "${CMAKE_MATCH_1}")
set(orvy_linked_names)
foreach(orvy_entry IN LISTS orvy_linked)
    string(REGEX REPLACE "[ (].*" "" orvy_name "${orvy_entry}")
    list(APPEND orvy_linked_names ${orvy_name})
endforeach()
string(REPLACE ", " ";" orvy_runtime "${CPACK_DEBIAN_PACKAGE_DEPENDS}")
foreach(orvy_entry IN LISTS orvy_runtime)
    string(REGEX REPLACE "[ (].*" "" orvy_name "${orvy_entry}")
    if(NOT orvy_name IN_LIST orvy_linked_names)
        string(APPEND orvy_depends ", ${orvy_entry}")
    endif()
endforeach()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${orvy_depends}")

# The Debian changelog: one entry, for this package.
string(TIMESTAMP orvy_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${orvy_dir}/changelog.Debian" "\
${CPACK_PACKAGE_NAME} (${orvy_version}) stable; urgency=medium

  * Orvy Class ${ORVY_PROJECT_VERSION}, built with the school's database settings.

 -- ${CPACK_PACKAGE_CONTACT}  ${orvy_date}
")
file(REMOVE "${ORVY_CHANGELOG}")
execute_process(COMMAND gzip -9nc "${orvy_dir}/changelog.Debian"
    OUTPUT_FILE "${ORVY_CHANGELOG}" RESULT_VARIABLE orvy_result)
if(NOT orvy_result EQUAL 0)
    message(FATAL_ERROR "gzip could not write ${ORVY_CHANGELOG}")
endif()
