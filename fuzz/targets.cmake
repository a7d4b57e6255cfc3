# Each subsystem's fuzz targets; the files are added as the parsers land.
include(${CMAKE_CURRENT_LIST_DIR}/base_targets.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/package_targets.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/device_targets.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/net_targets.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/staging_targets.cmake OPTIONAL)
include(${CMAKE_CURRENT_LIST_DIR}/settings_targets.cmake OPTIONAL)
