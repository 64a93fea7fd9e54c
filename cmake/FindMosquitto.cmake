# FindMosquitto: the MQTT client library libmosquitto (Debian libmosquitto-dev), found through
# its pkg-config file. Defines Mosquitto_FOUND and the target Mosquitto::Mosquitto.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(PC_MOSQUITTO QUIET libmosquitto)
endif()
find_path(Mosquitto_INCLUDE_DIR mosquitto.h HINTS ${PC_MOSQUITTO_INCLUDE_DIRS})
find_library(Mosquitto_LIBRARY NAMES mosquitto HINTS ${PC_MOSQUITTO_LIBRARY_DIRS})
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Mosquitto REQUIRED_VARS Mosquitto_LIBRARY Mosquitto_INCLUDE_DIR)
if(Mosquitto_FOUND AND NOT TARGET Mosquitto::Mosquitto)
  add_library(Mosquitto::Mosquitto UNKNOWN IMPORTED)
  set_target_properties(Mosquitto::Mosquitto PROPERTIES
    IMPORTED_LOCATION "${Mosquitto_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Mosquitto_INCLUDE_DIR}")
endif()
mark_as_advanced(Mosquitto_INCLUDE_DIR Mosquitto_LIBRARY)
