# What `cmake --install` puts where, and the Debian package (`cpack -G DEB`).
#
# The installed program folder holds everything the program looks for beside itself:
# ${prefix}/lib/lexivane/{lexivane,lexivane-words,lexivane-mkdb,dbWords.mdb,HAND-M.CUR}.
# The commands a user types are relative links to it from ${prefix}/bin, so the same tree
# works under any prefix or DESTDIR: the program resolves /proc/self/exe and still finds
# its folder.
set(LEXIVANE_PROGRAM_DIR lib/lexivane)

# Reverse-DNS of the maker's domain; names the desktop entry and the AppStream metainfo.
# Fixed on purpose: software centres track the application by it.
set(LEXIVANE_APP_ID example.tallowick.Lexivane)

# The executable targets of the program folder, each also a command on the PATH: a name
# here installs the target, links it from bin/ and makes it a <binary> of the AppStream
# metainfo. Each needs its page in LEXIVANE_MAN_PAGES.
set(LEXIVANE_COMMANDS lexivane lexivane-mkdb lexivane-words lexivane-find)
# Manual pages, section 1: docs/man/NAME.1, installed as share/man/man1/NAME.1.gz.
set(LEXIVANE_MAN_PAGES lexivane lexivane-mkdb lexivane-words lexivane-find)

set(LEXIVANE_SCREENSHOT_URL "" CACHE STRING
  "Where docs/screenshot.png is published, for the AppStream metainfo (empty: screenshot.png under LEXIVANE_HOME_PAGE)")
if(LEXIVANE_SCREENSHOT_URL)
  set(_lexivane_screenshot_url "${LEXIVANE_SCREENSHOT_URL}")
else()
  string(REGEX REPLACE "/+$" "" _lexivane_screenshot_url "${LEXIVANE_HOME_PAGE}")
  string(APPEND _lexivane_screenshot_url "/screenshot.png")
endif()
set(LEXIVANE_WORDLIST_COPYRIGHT "/usr/share/doc/wamerican-huge/copyright" CACHE FILEPATH
  "Notices of LEXIVANE_WORDLIST, copied into the package's copyright file")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

find_program(LEXIVANE_GZIP gzip REQUIRED)
set(_lexivane_gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_lexivane_gen}/man ${_lexivane_gen}/bin)

# gzip -9n: no name or time stamp inside, so the same source gives the same bytes.
function(lexivane_gzip source output)
  get_filename_component(_plain ${output} NAME_WLE)
  get_filename_component(_dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${_dir}/${_plain}
    COMMAND ${LEXIVANE_GZIP} -9nf ${_dir}/${_plain}
    DEPENDS ${source}
    COMMENT "Compressing ${_plain}"
    VERBATIM)
endfunction()

# ---- the program folder and the commands -------------------------------------------------
install(TARGETS ${LEXIVANE_COMMANDS} RUNTIME DESTINATION ${LEXIVANE_PROGRAM_DIR})
install(FILES
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/dbWords.mdb
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/HAND-M.CUR
  DESTINATION ${LEXIVANE_PROGRAM_DIR})

file(RELATIVE_PATH _lexivane_to_program /${CMAKE_INSTALL_BINDIR} /${LEXIVANE_PROGRAM_DIR})
set(_lexivane_provides "")
foreach(command IN LISTS LEXIVANE_COMMANDS)
  file(CREATE_LINK ${_lexivane_to_program}/${command} ${_lexivane_gen}/bin/${command} SYMBOLIC)
  install(FILES ${_lexivane_gen}/bin/${command} DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND _lexivane_provides "    <binary>${command}</binary>")
endforeach()
string(JOIN "\n" LEXIVANE_PROVIDES_XML ${_lexivane_provides})

# ---- manual pages ------------------------------------------------------------------------
set(_lexivane_man "")
foreach(page IN LISTS LEXIVANE_MAN_PAGES)
  lexivane_gzip(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${_lexivane_gen}/man/${page}.1.gz)
  list(APPEND _lexivane_man ${_lexivane_gen}/man/${page}.1.gz)
endforeach()
install(FILES ${_lexivane_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- desktop entry, icon, AppStream ------------------------------------------------------
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${LEXIVANE_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/lexivane.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
configure_file(${CMAKE_SOURCE_DIR}/packaging/${LEXIVANE_APP_ID}.metainfo.xml.in
  ${_lexivane_gen}/${LEXIVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${_lexivane_gen}/${LEXIVANE_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# ---- copyright and changelog -------------------------------------------------------------
# The word list's notices go in verbatim, as a DEP-5 licence text: each line indented by one
# space, an empty line written as " .".
if(EXISTS "${LEXIVANE_WORDLIST_COPYRIGHT}")
  file(READ "${LEXIVANE_WORDLIST_COPYRIGHT}" _notices)
  string(REGEX REPLACE "[ \t\r]+\n" "\n" _notices "${_notices}")
  string(STRIP "${_notices}" _notices)
  string(REPLACE "\n" "\n " _notices " ${_notices}")
  # Twice: a run of empty lines shares its line ends between two matches.
  foreach(_pass 1 2)
    string(REPLACE "\n \n" "\n .\n" _notices "${_notices}")
  endforeach()
  set(LEXIVANE_WORDLIST_NOTICES "${_notices}")
else()
  message(WARNING "${LEXIVANE_WORDLIST_COPYRIGHT} not found: point LEXIVANE_WORDLIST_COPYRIGHT "
                  "at the notices of ${LEXIVANE_WORDLIST} before making a package of it")
  set(LEXIVANE_WORDLIST_NOTICES " The notices of this word list were not found at build time.")
endif()
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${_lexivane_gen}/copyright @ONLY)

# A package without a Debian revision is native, so its changelog is changelog.gz.
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog _lexivane_top LIMIT_COUNT 1)
if(NOT _lexivane_top MATCHES "^lexivane \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog does not start with version ${PROJECT_VERSION}: "
                  "add an entry for it")
endif()
lexivane_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${_lexivane_gen}/changelog.gz)

set(_lexivane_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/lexivane)
install(FILES ${_lexivane_gen}/copyright ${_lexivane_gen}/changelog.gz
  DESTINATION ${_lexivane_docdir})

add_custom_target(lexivane_install_files ALL DEPENDS ${_lexivane_man} ${_lexivane_gen}/changelog.gz)

# ---- cpack -G DEB ------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME lexivane)
set(CPACK_PACKAGE_VENDOR "Tallowick")
set(CPACK_PACKAGE_CONTACT "Team Tallowick <${LEXIVANE_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lists English words by length")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Lexivane shows the English words of its word database, all of them or only\n"
  "the words of chosen lengths, and saves them to a text file or copies them\n"
  "to the clipboard. The lexivane-mkdb command makes a word database from a\n"
  "word list of your own; lexivane-words prints the words of an Access file.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${LEXIVANE_HOME_PAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Team Tallowick <${LEXIVANE_SUPPORT_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_STRIP_FILES ON)
# The window asks for Arial; Liberation Sans has its metrics, so the fixed layout fits.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
# Qt's Wayland platform plugin; without it the program runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
# The times in the package are the build's date (cpack reads SOURCE_DATE_EPOCH).
set(CPACK_LEXIVANE_SOURCE_DATE_EPOCH "${LEXIVANE_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/CPackDate.cmake)
include(CPack)
