# The program icon, drawn by mkicon; the Windows build embeds setup.ico as icon 1.
add_executable(mkicon ${CMAKE_SOURCE_DIR}/tools/mkicon.cpp)
target_link_libraries(mkicon ZLIB::ZLIB ${ZOPFLI_LIBRARY})
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/setup.ico
  COMMAND mkicon ${CMAKE_BINARY_DIR}/setup.ico
  DEPENDS mkicon VERBATIM)
add_custom_target(programicon ALL DEPENDS ${CMAKE_BINARY_DIR}/setup.ico)
