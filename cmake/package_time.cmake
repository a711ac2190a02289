# Read by cpack before it makes the packages: the time of every file and archive
# member is SOURCE_DATE_EPOCH, taken from the last commit when the caller sets none,
# so that one commit gives byte-identical packages wherever it is built.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C ${CPACK_WINMARLO_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE commit_time RESULT_VARIABLE status ERROR_QUIET
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(status EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  else()
    message(WARNING "No commit time for ${CPACK_WINMARLO_SOURCE_DIR} and no SOURCE_DATE_EPOCH: "
                    "the packages carry the time they are made")
  endif()
endif()
