# The Windows release files, into dist/ of the build tree: Kivrel-VERSION-win64.zip (the
# programs as they run, no installation) and Kivrel-VERSION-setup.exe (NSIS).
find_program(KIVREL_MAKENSIS makensis REQUIRED)
set(dist ${CMAKE_BINARY_DIR}/dist)
set(stage ${CMAKE_CURRENT_BINARY_DIR}/stage)
set(zip ${dist}/Kivrel-${PROJECT_VERSION}-win64.zip)
set(setup ${dist}/Kivrel-${PROJECT_VERSION}-setup.exe)
configure_file(README-windows.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY)

# What the stage holds, so the installer installs and the uninstaller removes the same list.
set(names "")
set(install_lines "")
set(remove_lines "")
foreach(entry IN LISTS KIVREL_LICENSES)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(APPEND names "licenses/${name}.txt")
endforeach()
foreach(file Kivrel.exe README.txt LICENSE.txt cli/kivrel.exe ${names})
  get_filename_component(folder ${file} DIRECTORY)
  string(REPLACE "/" "\\" windows_file "${file}")
  if(folder)
    set(folder "\\${folder}")
  endif()
  string(APPEND install_lines "  SetOutPath \"$INSTDIR${folder}\"\n  File \"${stage}/${file}\"\n")
  string(APPEND remove_lines "  Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
file(WRITE ${stage}.files.nsh
  "!macro InstallFiles\n${install_lines}!macroend\n"
  "!macro RemoveFiles\n${remove_lines}  RMDir \"$INSTDIR\\cli\"\n  RMDir \"$INSTDIR\\licenses\"\n!macroend\n")

add_custom_command(
  OUTPUT ${stage}/Kivrel.exe ${stage}/cli/kivrel.exe
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${stage} -DGUI=$<TARGET_FILE:Kivrel> -DCLI=$<TARGET_FILE:kivrel>
          -DSTRIP=${CMAKE_STRIP}
          -DREADME=${CMAKE_CURRENT_BINARY_DIR}/README.txt -DLICENSE=${KIVREL_LICENSE_FILE}
          "-DLICENSES=${KIVREL_LICENSES}" -P ${CMAKE_CURRENT_SOURCE_DIR}/stage_windows.cmake
  DEPENDS Kivrel kivrel ${CMAKE_CURRENT_SOURCE_DIR}/stage_windows.cmake
          ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${KIVREL_LICENSE_FILE}
  COMMENT "Staging the Windows release files"
  VERBATIM)
add_custom_command(
  OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip Kivrel.exe README.txt LICENSE.txt cli
          licenses
  WORKING_DIRECTORY ${stage}
  DEPENDS ${stage}/Kivrel.exe ${stage}/cli/kivrel.exe
  COMMENT "Packing ${zip}"
  VERBATIM)
add_custom_command(
  OUTPUT ${setup}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
  COMMAND ${KIVREL_MAKENSIS} -V2 -WX -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage}
          -DOUTFILE=${setup} -DICON=${KIVREL_RES_DIR}/app.ico
          ${CMAKE_CURRENT_SOURCE_DIR}/kivrel.nsi
  DEPENDS ${stage}/Kivrel.exe ${stage}/cli/kivrel.exe ${CMAKE_CURRENT_SOURCE_DIR}/kivrel.nsi
          ${stage}.files.nsh ${KIVREL_RES_DIR}/app.ico
  COMMENT "Building ${setup}"
  VERBATIM)
add_custom_target(kivrel_release ALL DEPENDS ${zip} ${setup})

if(KIVREL_TESTS)
  # Installs silently into a throw-away Wine prefix, checks, uninstalls, checks again.
  add_test(NAME installer
           COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/installer_test.sh ${setup}
                   ${PROJECT_VERSION} ${CMAKE_CURRENT_BINARY_DIR}/installer-test)
  set_tests_properties(installer PROPERTIES TIMEOUT 600)
endif()
