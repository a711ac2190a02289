# Installation and packages. Two components:
#   winmarlo   the program, its manual page, the README, the changelog and the JSON
#              summary's schema (Linux: /usr/bin, man1, /usr/share/doc/winmarlo,
#              /usr/share/winmarlo; Windows: the top of the zip file and the installer);
#   simulator  the simulated adapter library with a copy of the program and the demo
#              package, in a folder of their own (Linux: /usr/libexec/winmarlo-simulator;
#              Windows: simulator\).
# The program loads the adapter library from its own folder first, then from the
# system's search path: the simulated library therefore never goes beside the
# installed program nor into a folder the loader searches, where it would be taken
# for the maker's. Its copy of the program beside it finds it there.
# `cpack -G DEB` (Linux) makes winmarlo_<version>_<arch>.deb and
# winmarlo-simulator_<version>_<arch>.deb, with their debug symbols apart in
# winmarlo-dbgsym_<version>_<arch>.ddeb and winmarlo-simulator-dbgsym_...ddeb;
# `cpack -G ZIP` (Windows build) makes winmarlo-<version>-win64.zip and
# winmarlo-simulator-<version>-win64.zip, and the target `msi` the installer
# winmarlo-<version>-x64.msi (cmake/make_msi.cmake, packaging/windows/winmarlo.wxs).
# The Debian packages' own files (copyright, lintian overrides, maintainer script) are
# in packaging/debian; their changelog is made from CHANGELOG.md.

set(WINMARLO_PACKAGE_CONTACT "winmarlo developers <winmarlo@example.org>"
    CACHE STRING "Maintainer named in the packages")

if(WIN32)
  set(winmarlo_bin_dir .)
  set(winmarlo_simulator_dir simulator)
else()
  include(GNUInstallDirs)
  set(winmarlo_bin_dir ${CMAKE_INSTALL_BINDIR})
  # libexec rather than lib: the folder holds programs (the program's copy, the
  # rollback companion) and only a private library, which no loader path names.
  set(winmarlo_simulator_dir ${CMAKE_INSTALL_LIBEXECDIR}/winmarlo-simulator)
endif()

# --- the program
# /usr/bin rather than /usr/sbin although every run needs root: its manual page is a
# section 1 page, which Debian pairs with bin, and a user who starts it unprivileged
# finds it on the path and reads why it refuses.
install(TARGETS winmarlo RUNTIME DESTINATION ${winmarlo_bin_dir} COMPONENT winmarlo)
if(WIN32)
  # The documents and the JSON summary's schema beside the program.
  install(FILES README.md CHANGELOG.md doc/winmarlo-summary.schema.json DESTINATION . COMPONENT winmarlo)
else()
  install(FILES doc/winmarlo-summary.schema.json DESTINATION ${CMAKE_INSTALL_DATADIR}/winmarlo
          COMPONENT winmarlo)
  # Debian keeps manual pages, larger documents and changelogs gzipped; -n leaves the
  # name and time out, so the same sources give the same files. The changelog is the
  # Debian form of CHANGELOG.md: one changelog for the project and its packages. A
  # native package (a version without a Debian revision) names it changelog.gz.
  find_program(WINMARLO_GZIP gzip REQUIRED)
  set(winmarlo_doc_build ${CMAKE_BINARY_DIR}/doc)
  set(winmarlo_compressed ${winmarlo_doc_build}/winmarlo.1.gz ${winmarlo_doc_build}/README.md.gz
                          ${winmarlo_doc_build}/changelog.gz)
  add_custom_command(
    OUTPUT ${winmarlo_compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${winmarlo_doc_build}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/winmarlo.1 ${PROJECT_SOURCE_DIR}/README.md
            ${winmarlo_doc_build}
    COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUTPUT=${winmarlo_doc_build}/changelog
            -DSOURCE=winmarlo -DVERSION=${PROJECT_VERSION} "-DMAINTAINER=${WINMARLO_PACKAGE_CONTACT}"
            -P ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
    COMMAND ${WINMARLO_GZIP} -9nf ${winmarlo_doc_build}/winmarlo.1 ${winmarlo_doc_build}/README.md
            ${winmarlo_doc_build}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/winmarlo.1 ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
            ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.cmake
    COMMENT "Compressing the manual page, the README and the changelog" VERBATIM)
  add_custom_target(winmarlo_docs ALL DEPENDS ${winmarlo_compressed})
  install(FILES ${winmarlo_doc_build}/winmarlo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT winmarlo)
  install(FILES ${winmarlo_doc_build}/README.md.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
          COMPONENT winmarlo)
  # Each package's own folder of documents: its copyright and the changelog; and the
  # overrides of lintian tags that are kept on purpose, each with its reason.
  foreach(component winmarlo simulator)
    if(component STREQUAL "winmarlo")
      set(package winmarlo)
    else()
      set(package winmarlo-simulator)
    endif()
    install(FILES packaging/debian/copyright ${winmarlo_doc_build}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
    install(FILES packaging/debian/${package}.lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
            RENAME ${package} COMPONENT ${component})
  endforeach()
endif()

# --- the simulator
install(TARGETS winmarlo RUNTIME DESTINATION ${winmarlo_simulator_dir} COMPONENT simulator)
# A shared library is read, not run: no execute bits (Debian's rule for libraries).
# The import library of the Windows build is nobody's business.
install(TARGETS dfcsim
        RUNTIME DESTINATION ${winmarlo_simulator_dir} COMPONENT simulator
        LIBRARY DESTINATION ${winmarlo_simulator_dir} COMPONENT simulator
                PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        ARCHIVE DESTINATION ${winmarlo_simulator_dir} COMPONENT simulator_import EXCLUDE_FROM_ALL)
if(TARGET demo_package)
  # The demo package as the build writes it: boards, configuration, payloads and the
  # rollback companion.
  install(DIRECTORY ${CMAKE_BINARY_DIR}/demo-package/ DESTINATION ${winmarlo_simulator_dir}/demo-package
          USE_SOURCE_PERMISSIONS COMPONENT simulator)
else()
  # A build without the demo package (the image writer cannot run on this build
  # machine): the boards, the configuration and the companion where one is built.
  install(FILES demo/boards.json DESTINATION ${winmarlo_simulator_dir}/demo-package COMPONENT simulator)
  install(DIRECTORY demo/config DESTINATION ${winmarlo_simulator_dir}/demo-package COMPONENT simulator)
  if(TARGET rollback_companion)
    install(TARGETS rollback_companion RUNTIME DESTINATION ${winmarlo_simulator_dir}/demo-package/common
            COMPONENT simulator)
  endif()
endif()

# --- the Windows installer: `cmake --build <build> --target msi`
if(WIN32)
  set(winmarlo_msi ${CMAKE_BINARY_DIR}/winmarlo-${PROJECT_VERSION}-x64.msi)
  add_custom_command(
    OUTPUT ${winmarlo_msi}
    COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DSTRIP=${CMAKE_STRIP} -DOUTPUT=${winmarlo_msi}
            -P ${PROJECT_SOURCE_DIR}/cmake/make_msi.cmake
    DEPENDS winmarlo ${PROJECT_SOURCE_DIR}/packaging/windows/winmarlo.wxs ${PROJECT_SOURCE_DIR}/cmake/make_msi.cmake
            ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
            ${PROJECT_SOURCE_DIR}/doc/winmarlo-summary.schema.json
    COMMENT "Making the Windows installer winmarlo-${PROJECT_VERSION}-x64.msi" VERBATIM)
  add_custom_target(msi DEPENDS ${winmarlo_msi})
endif()

# --- the packages
set(CPACK_PACKAGE_NAME winmarlo)
# All four parts: CPack would otherwise take only major.minor.patch.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "winmarlo developers")
set(CPACK_PACKAGE_CONTACT "${WINMARLO_PACKAGE_CONTACT}")
set(CPACK_COMPONENTS_ALL winmarlo simulator)
# Debian: the first line is the synopsis, the rest the long description (with no
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put before it).
set(CPACK_DEBIAN_WINMARLO_DESCRIPTION
    "field-update utility for Tavrel Fibre Channel adapters
winmarlo reports the firmware and boot code of every Tavrel Fibre Channel
host bus adapter and converged network adapter as an XML inventory, and
updates them from a package of configuration files and firmware images.
It needs the maker's adapter access library, libdfc.so.")
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION
    "simulated Tavrel adapters and a demo package for winmarlo
A simulated adapter access library (libdfc.so) that serves adapters
described in a JSON board file, a copy of winmarlo beside it, and a demo
package of boards, configuration files, payload images and rollback
companion, all in /usr/libexec/winmarlo-simulator. Nothing of it is on the
system's search paths, so it never stands in for a real adapter library.")
set(CPACK_SOURCE_GENERATOR "")
# Packages are made with SOURCE_DATE_EPOCH set (from the last commit when the caller
# sets none), so that one commit gives byte-identical packages wherever it is built.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package_time.cmake)
set(CPACK_WINMARLO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
if(WIN32)
  set(CPACK_STRIP_FILES TRUE)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_WINMARLO_FILE_NAME winmarlo-${PROJECT_VERSION}-win64)
  set(CPACK_ARCHIVE_SIMULATOR_FILE_NAME winmarlo-simulator-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_WINMARLO_PACKAGE_NAME winmarlo)
  set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME winmarlo-simulator)
  set(CPACK_DEBIAN_PACKAGE_SOURCE winmarlo)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The dependencies are those of the linked files, as dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Stripped binaries; their debug symbols go to -dbgsym packages (.ddeb), under
  # /usr/lib/debug/.build-id as Debian keeps them. Before the split the compiler's
  # notes (.comment) are taken out, as Debian's own stripping does.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_binaries.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package_debug_symbols.cmake)
  # Purging the program's package removes the state the program keeps.
  set(CPACK_DEBIAN_WINMARLO_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
endif()
include(CPack)
