# Run by cpack after it has made the Debian packages: the -dbgsym packages it makes list
# their files in md5sums under the folder they were staged in (a path of the build
# machine) instead of their installed paths. Each is rebuilt with dpkg-deb from what it
# holds, its md5sums naming the installed paths, and with the times of
# SOURCE_DATE_EPOCH, so that dpkg can check them and every build makes the same bytes;
# the symbol files lose their execute bits on the way.
find_program(DPKG_DEB dpkg-deb)
if(NOT DPKG_DEB)
  message(FATAL_ERROR "package_debug_symbols.cmake: dpkg-deb is needed (Debian package dpkg)")
endif()
# The -dbgsym packages lie beside the packages cpack names as made.
set(debug_packages "")
foreach(made IN LISTS CPACK_PACKAGE_FILES)
  string(REGEX REPLACE "_([^_]+)_([^_]+)\\.deb$" "-dbgsym_\\1_\\2.ddeb" debug "${made}")
  if(NOT debug STREQUAL made AND EXISTS "${debug}")
    list(APPEND debug_packages "${debug}")
  endif()
endforeach()
foreach(package IN LISTS debug_packages)
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${DPKG_DEB} --raw-extract "${package}" "${tree}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package_debug_symbols.cmake: cannot unpack ${package}")
  endif()
  file(STRINGS "${tree}/DEBIAN/md5sums" sums)
  set(fixed "")
  foreach(line IN LISTS sums)
    # "<sum>  <staging folder>/<package>-dbgsym/usr/..." becomes "<sum>  usr/...".
    string(REGEX REPLACE "^([0-9a-f]+)  .*-dbgsym/(usr/.*)$" "\\1  \\2" line "${line}")
    string(APPEND fixed "${line}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${fixed}")
  # Symbol files are read, not run.
  file(GLOB_RECURSE symbol_files "${tree}/usr/*")
  if(symbol_files)
    file(CHMOD ${symbol_files} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zxz --build "${tree}" "${package}"
                  RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package_debug_symbols.cmake: cannot rebuild ${package}")
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
