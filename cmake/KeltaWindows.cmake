# The Windows build's dependencies, for a cross build with cmake/toolchain-mingw64.cmake:
#   zlib and libpng compiled here for the target from Debian's own source packages
#   (tools/setup-windows-deps.sh unpacks them into KELTA_WIN_SOURCES), as PNG::PNG;
#   libmosquitto and OpenSSL from KELTA_WIN_MQTT_PREFIX, as Mosquitto::Mosquitto (KELTA_MQTT on);
#   GoogleTest from Debian's sources in /usr/src/googletest, as GTest::gtest and GTest::gtest_main;
#   wine64 to run the test programs: a fresh Wine prefix in the build folder for every test run.
include(ExternalProject)

set(KELTA_WIN_SOURCES "${CMAKE_BINARY_DIR}/_sources" CACHE PATH
  "Unpacked Debian source packages of zlib and libpng")
file(GLOB kelta_zlib_src LIST_DIRECTORIES true "${KELTA_WIN_SOURCES}/zlib-*")
file(GLOB kelta_png_src LIST_DIRECTORIES true "${KELTA_WIN_SOURCES}/libpng1.6-*")
if(NOT IS_DIRECTORY "${kelta_zlib_src}" OR NOT IS_DIRECTORY "${kelta_png_src}")
  message(FATAL_ERROR "zlib and libpng sources not found in ${KELTA_WIN_SOURCES}: run "
    "bash tools/setup-windows-deps.sh ${KELTA_WIN_SOURCES}")
endif()

set(kelta_dep_prefix "${CMAKE_BINARY_DIR}/_deps/prefix")
set(kelta_dep_args
  -G ${CMAKE_GENERATOR}
  -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX=${kelta_dep_prefix}
  -DCMAKE_POLICY_DEFAULT_CMP0074=NEW)
set(kelta_zlib_a "${kelta_dep_prefix}/lib/libzlibstatic.a")
set(kelta_png_a "${kelta_dep_prefix}/lib/libpng16.a")

# The static library only: Debian's zlib sources leave out win32/ (the DLL's resource file).
set(kelta_zlib_build "${CMAKE_BINARY_DIR}/_deps/zlib-build")
ExternalProject_Add(kelta_zlib
  SOURCE_DIR "${kelta_zlib_src}"
  BINARY_DIR "${kelta_zlib_build}"
  CMAKE_ARGS ${kelta_dep_args}
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target zlibstatic
  INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory ${kelta_dep_prefix}/lib
    ${kelta_dep_prefix}/include
  COMMAND ${CMAKE_COMMAND} -E copy ${kelta_zlib_build}/libzlibstatic.a ${kelta_zlib_a}
  COMMAND ${CMAKE_COMMAND} -E copy ${kelta_zlib_src}/zlib.h ${kelta_zlib_build}/zconf.h
    ${kelta_dep_prefix}/include
  BUILD_BYPRODUCTS "${kelta_zlib_a}"
  DOWNLOAD_COMMAND "" UPDATE_COMMAND "")
ExternalProject_Add(kelta_libpng
  SOURCE_DIR "${kelta_png_src}"
  BINARY_DIR "${CMAKE_BINARY_DIR}/_deps/libpng-build"
  CMAKE_ARGS ${kelta_dep_args}
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
    -DZLIB_LIBRARY=${kelta_zlib_a} -DZLIB_INCLUDE_DIR=${kelta_dep_prefix}/include
  BUILD_BYPRODUCTS "${kelta_png_a}"
  DOWNLOAD_COMMAND "" UPDATE_COMMAND ""
  DEPENDS kelta_zlib)

add_library(kelta_png_win INTERFACE)
target_include_directories(kelta_png_win INTERFACE "${kelta_dep_prefix}/include")
target_link_libraries(kelta_png_win INTERFACE "${kelta_png_a}" "${kelta_zlib_a}")
add_dependencies(kelta_png_win kelta_libpng)
add_library(PNG::PNG ALIAS kelta_png_win)

# kelta-record.exe's MQTT client: libmosquitto with OpenSSL, built once per machine from
# Debian's sources by tools/build-windows-mqtt.sh, which prints the prefix to give here.
# Without it the recorder is built without MQTT (CSV and standard output only).
set(KELTA_WIN_MQTT_PREFIX "" CACHE PATH
  "libmosquitto and OpenSSL for Windows (the prefix tools/build-windows-mqtt.sh prints)")
if(KELTA_WIN_MQTT_PREFIX)
  set(kelta_mqtt_libs mosquitto_static ssl crypto)
  foreach(lib IN LISTS kelta_mqtt_libs)
    if(NOT EXISTS "${KELTA_WIN_MQTT_PREFIX}/lib/lib${lib}.a")
      message(FATAL_ERROR "${KELTA_WIN_MQTT_PREFIX}/lib/lib${lib}.a not found: run "
        "bash tools/build-windows-mqtt.sh ${KELTA_WIN_SOURCES}")
    endif()
  endforeach()
  add_library(Mosquitto::Mosquitto INTERFACE IMPORTED)
  target_include_directories(Mosquitto::Mosquitto INTERFACE "${KELTA_WIN_MQTT_PREFIX}/include")
  # Declared for static linking (no DLL import).
  target_compile_definitions(Mosquitto::Mosquitto INTERFACE LIBMOSQUITTO_STATIC)
  # What the static OpenSSL and libmosquitto need from the system: sockets, the certificate
  # store's API, GDI (OpenSSL's entropy on older systems).
  target_link_libraries(Mosquitto::Mosquitto INTERFACE
    "${KELTA_WIN_MQTT_PREFIX}/lib/libmosquitto_static.a" "${KELTA_WIN_MQTT_PREFIX}/lib/libssl.a"
    "${KELTA_WIN_MQTT_PREFIX}/lib/libcrypto.a" ws2_32 crypt32 gdi32 user32 advapi32)
  set(KELTA_MQTT ON)
else()
  message(STATUS "KELTA_WIN_MQTT_PREFIX not given: kelta-record.exe without MQTT")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL)
# Its warnings are not ours to mend: a -Werror build of the project still builds it.
set_target_properties(gtest gtest_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)

find_program(KELTA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(KELTA_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
  NO_CMAKE_FIND_ROOT_PATH)
if(NOT KELTA_WINE64 OR NOT KELTA_WINESERVER)
  message(FATAL_ERROR "wine64 not found: install the Debian package wine64 "
    "(bash tools/setup-windows-deps.sh installs everything the Windows build needs)")
endif()
set(KELTA_WINEPREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
# Every Windows program run from the build (the tests, CTest's own use) goes through Wine in
# the build's own prefix, quiet.
set(CMAKE_CROSSCOMPILING_EMULATOR
  env "WINEPREFIX=${KELTA_WINEPREFIX}" WINEDEBUG=-all "WINESERVER=${KELTA_WINESERVER}"
  "${KELTA_WINE64}")

enable_testing()
# The prefix is made anew before the tests of a run and its server stopped after them.
add_test(NAME wine_prefix_setup
  COMMAND bash "${PROJECT_SOURCE_DIR}/tools/wine-prefix.sh" init "${KELTA_WINEPREFIX}"
    "${KELTA_WINE64}" "${KELTA_WINESERVER}")
add_test(NAME wine_prefix_cleanup
  COMMAND bash "${PROJECT_SOURCE_DIR}/tools/wine-prefix.sh" stop "${KELTA_WINEPREFIX}"
    "${KELTA_WINE64}" "${KELTA_WINESERVER}")
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP kelta_wine TIMEOUT 300)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP kelta_wine TIMEOUT 60)
