# The search, delivery and check cycle of the search window: standard C++,
# so it builds (and is tested) without Qt too. Paths are relative to devices/.
add_library(quinterra_device_cycle STATIC
  ${CMAKE_SOURCE_DIR}/devices/device_cycle.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_search.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_delivery.cpp
  ${CMAKE_SOURCE_DIR}/devices/device_cycle_text.cpp
)
target_include_directories(quinterra_device_cycle PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quinterra_device_cycle PUBLIC quinterra_bus quinterra_platform_core)
