# The command-line tool as Linux distributions install it. Paths are relative to the install
# prefix: /usr in the .deb, PREFIX for `make install`.
include(GNUInstallDirs)

install(TARGETS kivrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES 70-kivrel.rules DESTINATION lib/udev/rules.d)
install(FILES kivrel.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kivrel)

# The manual page, from the built tool's --help (help2man, plus every command's own help).
find_program(KIVREL_HELP2MAN help2man REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(man ${CMAKE_CURRENT_BINARY_DIR}/kivrel.1)
add_custom_command(
  OUTPUT ${man}.gz
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/man_commands.py $<TARGET_FILE:kivrel>
          ${CMAKE_CURRENT_BINARY_DIR}/commands.h2m
  COMMAND ${KIVREL_HELP2MAN} --no-info --no-discard-stderr
          --name "read and update GPS speed-camera units"
          --include ${CMAKE_CURRENT_SOURCE_DIR}/kivrel.h2m
          --include ${CMAKE_CURRENT_BINARY_DIR}/commands.h2m
          --output ${man} $<TARGET_FILE:kivrel>
  COMMAND gzip -9nf ${man}
  DEPENDS kivrel ${CMAKE_CURRENT_SOURCE_DIR}/kivrel.h2m ${CMAKE_CURRENT_SOURCE_DIR}/man_commands.py
  COMMENT "Writing the kivrel manual page"
  VERBATIM)
add_custom_target(kivrel_man ALL DEPENDS ${man}.gz)
install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Kivrel's own licence, then the copyright notices the compiled-in libraries ask binary copies
# to carry.
set(copyright ${CMAKE_CURRENT_BINARY_DIR}/copyright)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${KIVREL_LICENSE_FILE})
file(READ ${KIVREL_LICENSE_FILE} own)
# One string: set() with several would join them with list separators.
string(CONCAT text "Kivrel, the command-line tool for GPS speed-camera units.\n\n"
       "---- Kivrel (LICENSE) ----\n\n${own}\n"
       "kivrel is built with these header-only libraries; their copyright and licence texts "
       "follow as Debian ships them.\n")
foreach(entry IN LISTS KIVREL_LICENSES)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 file)
  file(READ ${file} body)
  string(APPEND text "\n---- ${name} (${file}) ----\n\n${body}")
endforeach()
file(WRITE ${copyright} "${text}")
install(FILES ${copyright} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kivrel)

# The Debian package: `cpack --config CPackConfig.cmake` in the build tree (make dist).
set(KIVREL_PACKAGE_MAINTAINER "Kivrel developers <packages@kivrel.invalid>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivrel)
set(CPACK_PACKAGE_VENDOR Kivrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update GPS speed-camera units over USB")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "kivrel reads a Kivrel speed-camera unit (USB 0416:B500), writes a new camera database "
    "and program into it from an update file (*.qdx) or from the newest database it "
    "downloads, and edits the unit's settings. A udev rule gives the user logged in at the "
    "computer access to the unit, so it runs without root.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KIVREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Downloaded databases come as .zip, .7z or .rar archives, unpacked with these tools.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "p7zip-full | 7zip")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "unrar | unrar-free")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/postinst ${CMAKE_CURRENT_SOURCE_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/dist)
set(CPACK_STRIP_FILES ON)
include(CPack)

if(KIVREL_TESTS)
  # Completion reads the tool's help: check it against the tool built here.
  add_test(NAME bash_completion
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/completion_test.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/kivrel.bash-completion $<TARGET_FILE:kivrel>)
endif()
