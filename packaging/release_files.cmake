# The manual page and the package's documents, numbered and dated from the project's release.
set(_epoch_before "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${VELDRIX_RELEASE_EPOCH})
string(TIMESTAMP VELDRIX_RELEASE_DATE "%B %Y" UTC)
string(TIMESTAMP VELDRIX_RELEASE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${_epoch_before}")

set(_docs ${CMAKE_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/veldrix.1 ${_docs}/veldrix.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog ${_docs}/changelog @ONLY)

# Debian wants both compressed, with no name or time in the gzip header (-n), so a rebuild is the
# same bytes.
find_program(GZIP_PROGRAM gzip)
if(GZIP_PROGRAM)
  foreach(_doc veldrix.1 changelog)
    add_custom_command(OUTPUT ${_docs}/${_doc}.gz
      COMMAND ${GZIP_PROGRAM} -9nkf ${_docs}/${_doc}
      DEPENDS ${_docs}/${_doc})
  endforeach()
  add_custom_target(veldrix_docs ALL DEPENDS ${_docs}/veldrix.1.gz ${_docs}/changelog.gz)
  install(FILES ${_docs}/veldrix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_docs}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES ${_docs}/veldrix.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
