# The same sources give the same bytes, wherever and whenever they are built.
#
# No build folder in the binaries: the compiler writes source and build paths (debug
# information, __FILE__) relative, so the build ID that the stripped package keeps does not
# depend on them. The later map wins where the build folder is inside the sources.
add_compile_options(
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)

# One date for everything the build stamps (the database's creation date, the times in the
# package): SOURCE_DATE_EPOCH when it is set, else the date of the last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(LEXIVANE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
      OUTPUT_VARIABLE LEXIVANE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET)
  endif()
endif()
if(NOT LEXIVANE_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "No SOURCE_DATE_EPOCH and no git history: the build stamps today's date")
  set(LEXIVANE_SOURCE_DATE_EPOCH "")
endif()

# Put before a build step's command, it runs the step with that date.
if(LEXIVANE_SOURCE_DATE_EPOCH)
  set(LEXIVANE_STAMPED ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${LEXIVANE_SOURCE_DATE_EPOCH})
else()
  set(LEXIVANE_STAMPED "")
endif()
