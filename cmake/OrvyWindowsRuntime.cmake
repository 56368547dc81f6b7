# The DLLs a Windows folder needs, found from the files actually built and linked, so the
# folder is complete on a PC that has nothing but Windows.
#
# orvy_install_windows_folder(DESTINATION <dir> EXECUTABLE <target> PLUGIN <target>
#                             CLIENT_DLL <file> LINKED <imported targets>...
#                             [LINKED_FILES <libraries>...])
#   The program's folder: the program, its browser engine plug-in and the database client
#   DLL (loaded by name, so no tool sees it), then, when Qt is found, Qt's deployment tool
#   for the program and the plug-in (only the plug-in links Qt WebEngine: its helper
#   process, resources and translations come with it), then every DLL that any of these
#   imports (orvy_install_windows_runtime), searched for beside the LINKED libraries, in
#   bin/ under CMAKE_PREFIX_PATH and beside a MinGW compiler.
#
# orvy_windows_search_dirs(<out> [TARGETS <imported targets>...] [FILES <libraries>...])
#   The folders holding the DLLs of these libraries: the folder of each file and, for an
#   import library in lib/, the bin/ beside it (vcpkg's and MSYS2's layout). Imported
#   targets of every kind count (FindPNG and FindZLIB make UNKNOWN ones, whose file is
#   the import library).
#
# orvy_install_windows_runtime(DESTINATION <dir> DIRECTORIES <folders>...)
#   An install step, to come after everything else is installed to <dir>: every DLL that
#   a program or DLL in <dir> (or its subfolders) imports, found in the same folder, in
#   <folders> or, on Windows, in its system folders, is copied to <dir>, and so on for
#   what those import. A DLL that is neither found nor part of Windows
#   (packaging/windows/system-dlls.txt) ends the install with its name, as does one
#   found in two folders as different files.

set(ORVY_WINDOWS_RUNTIME_SCRIPT ${CMAKE_CURRENT_LIST_FILE})
get_filename_component(ORVY_SYSTEM_DLLS ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/system-dlls.txt
    ABSOLUTE)

function(orvy_windows_search_dirs out)
    cmake_parse_arguments(A "" "" "TARGETS;FILES" ${ARGN})
    set(files)
    foreach(file IN LISTS A_FILES)
        # FindPNG and the like may give "optimized;a.lib;debug;b.lib".
        if(NOT file MATCHES "^(optimized|debug|general)$")
            list(APPEND files ${file})
        endif()
    endforeach()
    foreach(target IN LISTS A_TARGETS)
        if(NOT TARGET ${target})
            continue()
        endif()
        get_target_property(imported ${target} IMPORTED)
        if(NOT imported)
            continue()
        endif()
        get_target_property(configs ${target} IMPORTED_CONFIGURATIONS)
        set(suffixes "")
        if(configs)
            foreach(config IN LISTS configs)
                string(TOUPPER ${config} config)
                list(APPEND suffixes _${config})
            endforeach()
        endif()
        foreach(property IMPORTED_LOCATION IMPORTED_IMPLIB)
            foreach(suffix "" ${suffixes})
                get_target_property(file ${target} ${property}${suffix})
                if(file)
                    list(APPEND files ${file})
                endif()
            endforeach()
        endforeach()
    endforeach()

    set(dirs)
    foreach(file IN LISTS files)
        if(NOT IS_ABSOLUTE "${file}")
            continue()
        endif()
        get_filename_component(dir "${file}" DIRECTORY)
        list(APPEND dirs "${dir}")
        get_filename_component(parent "${dir}" DIRECTORY)
        if(IS_DIRECTORY "${parent}/bin")
            list(APPEND dirs "${parent}/bin")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES dirs)
    set(${out} ${dirs} PARENT_SCOPE)
endfunction()

# The list of Windows' own DLLs as regular expressions on lower-case names.
function(orvy_system_dll_regexes out list_file)
    file(STRINGS "${list_file}" lines)
    set(regexes)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "#.*" "" line "${line}")
        string(STRIP "${line}" line)
        if(line STREQUAL "")
            continue()
        endif()
        string(REGEX REPLACE "([.+?^$()])" "\\\\\\1" line "${line}")
        string(REPLACE "*" ".*" line "${line}")
        list(APPEND regexes "^${line}$")
    endforeach()
    set(${out} ${regexes} PARENT_SCOPE)
endfunction()

function(orvy_install_windows_runtime)
    cmake_parse_arguments(A "" "DESTINATION" "DIRECTORIES" ${ARGN})
    # The tool that reads the import tables: the toolchain's objdump when cross-compiling
    # or with MinGW, dumpbin with MSVC (found beside its linker).
    set(tool_settings "")
    if(MSVC)
        get_filename_component(linker_dir "${CMAKE_LINKER}" DIRECTORY)
        find_program(ORVY_DUMPBIN dumpbin HINTS "${linker_dir}")
        if(ORVY_DUMPBIN)
            set(tool_settings "set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL dumpbin)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${ORVY_DUMPBIN}\")")
        endif()
    elseif(CMAKE_OBJDUMP)
        set(tool_settings "set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${CMAKE_OBJDUMP}\")")
    endif()
    install(CODE "
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
${tool_settings}
include(\"${ORVY_WINDOWS_RUNTIME_SCRIPT}\")
orvy_windows_runtime_at_install(\"${A_DESTINATION}\" \"${A_DIRECTORIES}\" \"${CMAKE_BINARY_DIR}/windows-dll-names\")
")
endfunction()

# The install step itself, run by the install script.
function(orvy_windows_runtime_at_install destination directories names_folder)
    if(IS_ABSOLUTE "${destination}")
        set(dest "$ENV{DESTDIR}${destination}")
    else()
        set(dest "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${destination}")
    endif()
    file(GLOB_RECURSE executables LIST_DIRECTORIES false "${dest}/*.exe")
    file(GLOB_RECURSE libraries LIST_DIRECTORIES false "${dest}/*.dll")
    orvy_system_dll_regexes(system_regexes "${ORVY_SYSTEM_DLLS}")
    message(STATUS "Finding the DLLs that ${dest} needs")
    # The search takes Windows' names in lower case, as Windows compares them; on a
    # case-sensitive file system (a cross build) Qt6Core.dll would never be found as
    # qt6core.dll. A folder of lower-case links stands in for the folders searched, and
    # each file found through it is installed under its own name.
    if(NOT CMAKE_HOST_WIN32)
        file(REMOVE_RECURSE "${names_folder}")
        file(MAKE_DIRECTORY "${names_folder}")
        foreach(dir IN LISTS directories)
            file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll" "${dir}/*.DLL")
            foreach(dll IN LISTS dlls)
                get_filename_component(name "${dll}" NAME)
                string(TOLOWER "${name}" lower)
                if(NOT name STREQUAL lower AND NOT EXISTS "${names_folder}/${lower}")
                    file(CREATE_LINK "${dll}" "${names_folder}/${lower}" SYMBOLIC)
                endif()
            endforeach()
        endforeach()
        list(APPEND directories "${names_folder}")
    endif()
    file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES ${executables}
        LIBRARIES ${libraries}
        DIRECTORIES ${directories}
        PRE_EXCLUDE_REGEXES ${system_regexes}
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        CONFLICTING_DEPENDENCIES_PREFIX conflicting)

    # A name found in several folders: fine when they are the same file.
    foreach(name IN LISTS conflicting_FILENAMES)
        set(candidates ${conflicting_${name}})
        list(GET candidates 0 first)
        file(SHA256 "${first}" first_hash)
        foreach(candidate IN LISTS candidates)
            file(SHA256 "${candidate}" hash)
            if(NOT hash STREQUAL first_hash)
                list(JOIN candidates "\n  " listed)
                message(FATAL_ERROR "${name} is found as different files:\n  ${listed}\n"
                    "Leave only the right one's folder among those searched.")
            endif()
        endforeach()
        list(APPEND resolved "${first}")
    endforeach()
    if(unresolved)
        list(JOIN unresolved ", " names)
        list(JOIN directories "\n  " searched)
        message(FATAL_ERROR "The folder needs ${names}, found neither beside the files that "
            "import them nor in:\n  ${searched}\nand not part of Windows "
            "(${ORVY_SYSTEM_DLLS}). Put their folder on CMAKE_PREFIX_PATH.")
    endif()

    # Found in the Windows folder: part of Windows on every PC. (The C++ run-time, which a
    # developer's PC has there too, is put into the folder beforehand by
    # InstallRequiredSystemLibraries, so it is found beside the files first.)
    set(windows_folder "")
    if(DEFINED ENV{SystemRoot})
        file(TO_CMAKE_PATH "$ENV{SystemRoot}/" windows_folder)
        string(TOLOWER "${windows_folder}" windows_folder)
    endif()
    get_filename_component(dest_real "${dest}" REALPATH)
    foreach(file IN LISTS resolved)
        get_filename_component(dir "${file}" DIRECTORY)
        get_filename_component(dir "${dir}" REALPATH)
        string(TOLOWER "${file}" lower)
        string(FIND "${lower}" "${windows_folder}" at)
        if(dir STREQUAL dest_real OR (windows_folder AND at EQUAL 0))
            continue()
        endif()
        get_filename_component(file "${file}" REALPATH)
        file(INSTALL "${file}" DESTINATION "${dest}")
    endforeach()
endfunction()

# Qt's platform, style, image format and TLS plug-ins into <dest>/plugins.
function(orvy_install_qt_plugins dest)
    get_target_property(core Qt6::Core IMPORTED_LOCATION_RELEASE)
    if(NOT core)
        get_target_property(core Qt6::Core LOCATION)
    endif()
    # Qt6Core.dll is in bin\, its plug-ins in plugins\ beside it.
    get_filename_component(qt_prefix "${core}" DIRECTORY)
    get_filename_component(qt_prefix "${qt_prefix}" DIRECTORY)
    set(plugins ${qt_prefix}/plugins)
    if(NOT EXISTS ${plugins}/platforms/qwindows.dll)
        message(FATAL_ERROR "Qt's Windows platform plug-in is not in ${plugins}/platforms")
    endif()
    install(FILES ${plugins}/platforms/qwindows.dll DESTINATION ${dest}/plugins/platforms)
    foreach(kind styles imageformats tls)
        install(DIRECTORY ${plugins}/${kind} DESTINATION ${dest}/plugins FILES_MATCHING PATTERN "*.dll")
    endforeach()
    file(WRITE ${CMAKE_BINARY_DIR}/qt.conf "[Paths]\nPrefix=.\nPlugins=plugins\n")
    install(FILES ${CMAKE_BINARY_DIR}/qt.conf DESTINATION ${dest})
endfunction()

function(orvy_install_windows_folder)
    cmake_parse_arguments(A "" "DESTINATION;EXECUTABLE;PLUGIN;CLIENT_DLL" "LINKED;LINKED_FILES" ${ARGN})
    set(dest ${A_DESTINATION})
    install(TARGETS ${A_EXECUTABLE} RUNTIME DESTINATION ${dest})
    if(A_PLUGIN)
        install(TARGETS ${A_PLUGIN} LIBRARY DESTINATION ${dest})
    endif()
    if(A_CLIENT_DLL AND EXISTS "${A_CLIENT_DLL}")
        install(FILES ${A_CLIENT_DLL} DESTINATION ${dest})
    else()
        message(WARNING "libmariadb.dll not found: set MARIADB_CLIENT_DLL to put it beside the program")
        install(CODE "message(FATAL_ERROR \"The folder would lack libmariadb.dll: set MARIADB_CLIENT_DLL\")")
    endif()
    # The C++ run-time beside the program: a clean PC may not have it.
    if(MSVC)
        set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION ${dest})
        set(CMAKE_INSTALL_UCRT_LIBRARIES OFF) # part of Windows 10 and later
        include(InstallRequiredSystemLibraries)
    endif()

    if(QT_DEPLOY_SUPPORT AND A_PLUGIN)
        # Everything in the program's own folder, the layout Qt finds without help: Qt's
        # DLLs and QtWebEngineProcess.exe beside the program, plug-ins in plugins\, the
        # engine's resources in resources\ and its locales in
        # translations\qtwebengine_locales. qt.conf says so to Qt (its data and helper
        # folders would otherwise be taken as one level up).
        install(CODE "
set(QT_DEPLOY_PREFIX \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dest}\")
set(QT_DEPLOY_BIN_DIR .)
set(QT_DEPLOY_LIB_DIR .)
set(QT_DEPLOY_PLUGINS_DIR plugins)
include(\"${QT_DEPLOY_SUPPORT}\")
qt_deploy_runtime_dependencies(
    EXECUTABLE \"$<TARGET_FILE_NAME:${A_EXECUTABLE}>\"
    ADDITIONAL_MODULES \"$<TARGET_FILE_NAME:${A_PLUGIN}>\")
qt_deploy_qt_conf(\"\${QT_DEPLOY_PREFIX}/qt.conf\"
    PREFIX . BIN_DIR . LIB_DIR . LIBEXEC_DIR . PLUGINS_DIR plugins DATA_DIR . TRANSLATIONS_DIR translations)
foreach(piece QtWebEngineProcess.exe resources/qtwebengine_resources.pak translations/qtwebengine_locales)
    if(NOT EXISTS \"\${QT_DEPLOY_PREFIX}/\${piece}\")
        message(FATAL_ERROR \"Qt's deployment left out \${piece}: the first play would fail\")
    endif()
endforeach()
")
    elseif(TARGET Qt6::Core)
        # No engine (a cross build), so no Qt deployment tool either: the plug-ins a
        # Widgets program loads, by hand, and qt.conf pointing Qt at them.
        orvy_install_qt_plugins(${dest})
    endif()

    set(dirs)
    foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
        list(APPEND dirs ${prefix}/bin)
    endforeach()
    if(MINGW)
        get_filename_component(compiler_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
        list(APPEND dirs ${compiler_dir})
    endif()
    orvy_windows_search_dirs(linked_dirs TARGETS ${A_LINKED} FILES ${A_LINKED_FILES} ${A_CLIENT_DLL})
    list(PREPEND dirs ${linked_dirs})
    list(REMOVE_DUPLICATES dirs)
    orvy_install_windows_runtime(DESTINATION ${dest} DIRECTORIES ${dirs})
endfunction()
