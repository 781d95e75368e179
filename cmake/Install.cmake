# The installed program folder holds everything the program looks for beside itself:
# ${prefix}/lib/lexivane/{lexivane,lexivane-words,dbWords.mdb,HAND-M.CUR}.
set(LEXIVANE_PROGRAM_DIR lib/lexivane)

install(TARGETS lexivane lexivane-words
  RUNTIME DESTINATION ${LEXIVANE_PROGRAM_DIR})
install(FILES
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/dbWords.mdb
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/HAND-M.CUR
  DESTINATION ${LEXIVANE_PROGRAM_DIR})

# A relative link, so the same tree works under any prefix or DESTDIR; the program
# resolves /proc/self/exe and still finds its folder.
set(_lexivane_link_dir ${CMAKE_BINARY_DIR}/install-link)
file(MAKE_DIRECTORY ${_lexivane_link_dir})
file(CREATE_LINK ../${LEXIVANE_PROGRAM_DIR}/lexivane ${_lexivane_link_dir}/lexivane SYMBOLIC)
install(FILES ${_lexivane_link_dir}/lexivane DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_SOURCE_DIR}/packaging/lexivane.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/lexivane.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

# cpack -G DEB
set(CPACK_PACKAGE_NAME lexivane)
set(CPACK_PACKAGE_VENDOR "Tallowick")
set(CPACK_PACKAGE_CONTACT "Team Tallowick <${LEXIVANE_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lists English words by length")
set(CPACK_PACKAGE_DESCRIPTION
  "Lexivane shows the English words of its word database, all of them or only\nthe words of chosen lengths, and saves them to a text file or copies them\nto the clipboard.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${LEXIVANE_HOME_PAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Team Tallowick <${LEXIVANE_SUPPORT_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The window asks for Arial; Liberation Sans has its metrics, so the fixed layout fits.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
