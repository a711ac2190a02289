# Run by cpack on the installed files before it makes the Debian packages: every ELF
# file loses the compiler's identification (.comment) and the old-style .note section,
# which say nothing at run time, as Debian's own stripping takes them out. The debug
# symbols are split off afterwards, by the packaging itself; the simulator's copy of the
# program is stripped here instead, since its debug symbols are the program's, under
# the same build id in winmarlo-dbgsym (two -dbgsym packages may not hold one file).
find_program(OBJCOPY objcopy)
if(NOT OBJCOPY)
  message(FATAL_ERROR "package_binaries.cmake: objcopy is needed (Debian package binutils)")
endif()
file(GLOB_RECURSE installed LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(file IN LISTS installed)
  if(IS_SYMLINK "${file}")
    continue()
  endif()
  file(READ "${file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    set(strip "")
    if(file MATCHES "/winmarlo-simulator/winmarlo$")
      set(strip --strip-unneeded)
    endif()
    execute_process(COMMAND ${OBJCOPY} ${strip} --remove-section=.comment --remove-section=.note "${file}"
                    RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "package_binaries.cmake: objcopy ${file}: ${error}")
    endif()
  endif()
endforeach()
