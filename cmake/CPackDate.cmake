# Read by cpack: the times of the files and archives in the package are the build's date,
# not the time cpack runs.
if(CPACK_LEXIVANE_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_LEXIVANE_SOURCE_DATE_EPOCH}")
endif()
