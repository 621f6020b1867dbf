# The publication of the network of shops: names, the strict JSON reader and
# the signed document, the change of its signing key, texts made safe for a
# terminal. Standard C++ and libsodium, so the fuzz build (no Qt)
# has it too. Paths are relative to network/.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
add_library(quinterra_network_core STATIC
  ${CMAKE_SOURCE_DIR}/network/key_change.cpp
  ${CMAKE_SOURCE_DIR}/network/names.cpp
  ${CMAKE_SOURCE_DIR}/network/publication.cpp
  ${CMAKE_SOURCE_DIR}/network/reconnect_backoff.cpp
  ${CMAKE_SOURCE_DIR}/network/strict_json.cpp
  ${CMAKE_SOURCE_DIR}/network/terminal_text.cpp
)
target_include_directories(quinterra_network_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quinterra_network_core PUBLIC quinterra_panels quinterra_platform_core
  PkgConfig::SODIUM)
