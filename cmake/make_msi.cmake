# Makes the Windows installer of packaging/windows/winmarlo.wxs with msitools:
#   cmake -DVERSION=<version> -DBUILD_DIR=<Windows build> -DSOURCE_DIR=<sources>
#         [-DSTRIP=<strip program>] -DOUTPUT=<file.msi> -P make_msi.cmake
# wixl builds the database; msibuild then adds what wixl does not know:
# - the system PATH entry: the installed folder appended to PATH on install and taken
#   out again on removal (the Environment table and its two standard actions);
# - upgrades between builds that differ only in the fourth part of the version
#   (11.2.216.9 to 11.2.216.10): Windows Installer compares three parts, so the upgrade
#   row also takes an installed product of the same three-part version.
foreach(var VERSION BUILD_DIR SOURCE_DIR OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_msi.cmake: ${var} is not set")
  endif()
endforeach()
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(NOT WIXL OR NOT MSIBUILD)
  message(FATAL_ERROR "make_msi.cmake: wixl and msibuild are needed (Debian packages wixl and msitools)")
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "make_msi.cmake: ${command} failed (${status}):\n${out}")
  endif()
endfunction()

# wixl finds files by names relative to the folder it runs in: the installed files are
# gathered in one.
set(files ${OUTPUT}.files)
file(REMOVE_RECURSE ${files})
file(MAKE_DIRECTORY ${files})
file(COPY ${BUILD_DIR}/winmarlo.exe ${SOURCE_DIR}/README.md ${SOURCE_DIR}/CHANGELOG.md
          ${SOURCE_DIR}/doc/winmarlo-summary.schema.json DESTINATION ${files})
if(STRIP)
  # As the zip file holds it: without the symbol table.
  run(${STRIP} ${files}/winmarlo.exe)
endif()
set(draft ${OUTPUT}.draft)
run(${CMAKE_COMMAND} -E chdir ${files} ${WIXL} -a x64 -D Version=${VERSION} -o ${draft}
    ${SOURCE_DIR}/packaging/windows/winmarlo.wxs)
file(REMOVE_RECURSE ${files})

# Name "=-*PATH": set on install, taken out on removal, in the system's environment;
# "[~];" before the value appends it to what PATH already holds.
set(environment ${OUTPUT}.Environment.idt)
file(WRITE ${environment} "Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n"
                          "PathEntry\t=-*PATH\t[~];[INSTALLDIR]\tProgram\n")
# The upgrade row again with attributes 513: migrate features (1) and take the upper
# version too (512). Attributes belong to the table's key, so the row is replaced.
file(READ ${SOURCE_DIR}/packaging/windows/winmarlo.wxs wxs)
if(NOT wxs MATCHES "UpgradeCode=\"([0-9A-Fa-f-]+)\"")
  message(FATAL_ERROR "make_msi.cmake: winmarlo.wxs names no UpgradeCode")
endif()
string(TOUPPER "{${CMAKE_MATCH_1}}" upgrade_code)
run(${MSIBUILD} ${draft} -i ${environment}
    -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveEnvironmentStrings', 3300)"
    -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('WriteEnvironmentStrings', 5200)"
    -q "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    -q "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('${upgrade_code}', '${VERSION}', 513, 'WIX_UPGRADE_DETECTED')")
file(REMOVE ${environment})
file(RENAME ${draft} ${OUTPUT})
