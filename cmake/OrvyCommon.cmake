# Settings every target of the project shares.
add_library(orvy_options INTERFACE)
target_compile_features(orvy_options INTERFACE cxx_std_20)
if(MSVC)
    # /utf-8: the sources hold Arabic-script text as UTF-8, whatever the machine's code page.
    target_compile_options(orvy_options INTERFACE /W4 /utf-8 /permissive- /Zc:__cplusplus)
else()
    target_compile_options(orvy_options INTERFACE -Wall -Wextra -Wpedantic)
endif()
# Most tests run on a private X server with POSIX fixtures (tests/support): Linux only.
# On Windows those that need neither are built (tests/CMakeLists.txt); elsewhere none.
if(ORVY_BUILD_TESTS AND NOT CMAKE_SYSTEM_NAME MATCHES "^(Linux|Windows)$")
    message(STATUS "Tests are not built on ${CMAKE_SYSTEM_NAME}: they need Linux or Windows")
    set(ORVY_BUILD_TESTS OFF)
endif()
target_compile_definitions(orvy_options INTERFACE QT_NO_FOREACH QT_NO_URL_CAST_FROM_STRING)
# <windows.h> (which <curl/curl.h> pulls in through <winsock2.h>) otherwise defines min and
# max as macros, breaking std::min/std::max, and drags in rarely used headers.
if(WIN32)
    target_compile_definitions(orvy_options INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()
# Hardening, in every Linux build, so that what the tests and the benchmark run is what
# ships: glibc's checked string and memory functions (fortify, which needs the optimiser,
# and which the sanitizers replace), and a relocation table resolved at start and then
# made read-only (relro, bind-now).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    if(NOT ORVY_WITH_ASAN AND NOT ORVY_BUILD_FUZZ)
        target_compile_options(orvy_options INTERFACE
            "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    endif()
    target_link_options(orvy_options INTERFACE LINKER:-z,relro,-z,now)
endif()
if(ORVY_WITH_ASAN)
    target_compile_options(orvy_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(orvy_options INTERFACE -fsanitize=address,undefined)
endif()
set(CMAKE_CXX_EXTENSIONS OFF)

# The libFuzzer targets (fuzz/): with clang only. All project code is instrumented for
# coverage and runs under AddressSanitizer and UBSan, any report ending the run.
set(ORVY_FUZZ_ENABLED OFF)
if(ORVY_BUILD_FUZZ)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        set(ORVY_FUZZ_ENABLED ON)
        target_compile_options(orvy_options INTERFACE
            -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(orvy_options INTERFACE -fsanitize=address,undefined)
    else()
        message(STATUS "Fuzz targets need clang (libFuzzer); not built with ${CMAKE_CXX_COMPILER_ID}")
    endif()
endif()
