# Each subsystem's fuzz targets.
include(${CMAKE_CURRENT_LIST_DIR}/base_targets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/package_targets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/device_targets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/net_targets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/staging_targets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/settings_targets.cmake)
