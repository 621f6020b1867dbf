# The device session without its windows: the registry, the search, delivery,
# check and read cycles, and the session that owns them with the engine and a link.
# Standard C++, so it builds (and is tested) without Qt too. Paths are
# relative to devices/.
add_library(quinterra_device_session STATIC
  ${CMAKE_SOURCE_DIR}/devices/device_cycle.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_check.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_delivery.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_progress.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_read.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_search.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_walk.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_registry_file.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_row.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_session.cpp
  ${CMAKE_SOURCE_DIR}/devices/link_settings.cpp
  ${CMAKE_SOURCE_DIR}/devices/log_file.cpp
)
target_include_directories(quinterra_device_session PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quinterra_device_session PUBLIC quinterra_bus quinterra_platform_core)
