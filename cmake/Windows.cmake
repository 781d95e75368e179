# The Windows program folder and its installer (packaging/windows/lexivane.nsi, Debian's
# makensis). The program finds everything beside itself, so the folder is flat.
install(TARGETS lexivane lexivane-words RUNTIME DESTINATION .)
install(FILES
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/dbWords.mdb
  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/HAND-M.CUR
  DESTINATION .)

# The program folder end to end under Wine, its counts and word order held to lexivane-find's;
# the screenshots stay in Testing/windows.
if(BUILD_TESTING AND TARGET lexivane-find)
  add_test(NAME windows_smoke
    COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/smoke_test.sh ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
            ${CMAKE_BINARY_DIR}/Testing/windows ${CMAKE_CROSSCOMPILING_EMULATOR}
            $<TARGET_FILE:lexivane-find>)
  set_tests_properties(windows_smoke PROPERTIES LABELS windows TIMEOUT 900)
endif()

find_program(LEXIVANE_MAKENSIS makensis)
if(NOT LEXIVANE_MAKENSIS)
  message(STATUS "No installer: makensis not found (apt-get install nsis)")
  return()
endif()

# Made from a stripped install of this build, so the install rules are what it ships.
set(_stage ${CMAKE_BINARY_DIR}/installer-stage)
set(LEXIVANE_INSTALLER ${CMAKE_BINARY_DIR}/lexivane-${PROJECT_VERSION}-win64.exe)
set(_nsi ${PROJECT_SOURCE_DIR}/packaging/windows/lexivane.nsi)
add_custom_command(
  OUTPUT ${LEXIVANE_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${_stage} --strip
  COMMAND ${LEXIVANE_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DPROGRAM_DIR=${_stage}
          -DOUTFILE=${LEXIVANE_INSTALLER} ${_nsi}
  DEPENDS lexivane lexivane-words lexivane_dbwords lexivane_art ${_nsi}
  COMMENT "Making the Windows installer"
  VERBATIM)
add_custom_target(lexivane_installer DEPENDS ${LEXIVANE_INSTALLER})

if(BUILD_TESTING)
  add_test(NAME windows_installer
    COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/installer_test.sh ${LEXIVANE_INSTALLER} ${_stage}
            ${CMAKE_BINARY_DIR}/Testing/windows/installed.png)
  set_tests_properties(windows_installer PROPERTIES LABELS windows TIMEOUT 300)
endif()
