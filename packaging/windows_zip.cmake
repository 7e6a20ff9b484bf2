# `cpack -G ZIP` in the windows build folder: veldrix-<version>-win64.zip with veldrix.exe, the
# README and the manual page as plain text, all at the top of the archive.
install(TARGETS veldrix RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

# The manual page rendered where man is at hand.
set(_page ${CMAKE_BINARY_DIR}/docs/veldrix.txt)
set(_epoch_before "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${VELDRIX_RELEASE_EPOCH})
string(TIMESTAMP VELDRIX_RELEASE_DATE "%B %Y" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${_epoch_before}")
configure_file(${PROJECT_SOURCE_DIR}/veldrix.1 ${CMAKE_BINARY_DIR}/docs/veldrix.1 @ONLY)
add_custom_command(OUTPUT ${_page}
  COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 ${CMAKE_COMMAND} -DPAGE=${CMAKE_BINARY_DIR}/docs/veldrix.1
          -DTEXT=${_page} -P ${PROJECT_SOURCE_DIR}/packaging/render_page.cmake
  DEPENDS ${CMAKE_BINARY_DIR}/docs/veldrix.1 ${PROJECT_SOURCE_DIR}/packaging/render_page.cmake)
add_custom_target(veldrix_page ALL DEPENDS ${_page})
install(FILES ${_page} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME "veldrix-${PROJECT_VERSION}-win64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
