# The wizard's logo, drawn by tools/mklogo.cpp. The Windows build embeds logo.png as resource "LOGO" of type
# "PNG" (resources/logo.cmake); tests compare a decoded logo with logo.dump, the palette and pixels drawn.
add_executable(mklogo ${CMAKE_SOURCE_DIR}/tools/mklogo.cpp)
target_link_libraries(mklogo ZLIB::ZLIB)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/logo.png ${CMAKE_BINARY_DIR}/logo.dump
  COMMAND mklogo ${CMAKE_BINARY_DIR}/logo.png ${CMAKE_BINARY_DIR}/logo.dump
  DEPENDS mklogo VERBATIM)
add_custom_target(logo ALL DEPENDS ${CMAKE_BINARY_DIR}/logo.png ${CMAKE_BINARY_DIR}/logo.dump)
